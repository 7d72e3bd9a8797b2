// SPDX-License-Identifier: Apache-2.0
// On-demand channel decode: the five storage methods against test-side encoders, decoding
// once, failures that drop a channel, and getValue's refusals.
#include "particles/PGroup.h"
#include "tests/common/CapturedOutput.h"
#include "tests/particles/ParticleBytes.h"

#include <gtest/gtest.h>

using namespace kortest;

namespace {

struct MethodCase {
    const char* label;
    int channel;
    uint32_t method;
    int words;
};

// Values for count particles of `words` words each: distinct bit patterns, floats for the
// float channels and wide integers for the identifier.
std::string channelBytes(int channel, int count, int words) {
    if (channel == 10) {
        std::vector<int64_t> ids;
        for (int i = 0; i < count; ++i) {
            ids.push_back(int64_t(i) * 0x100000001LL - 7);
        }
        return int64Bytes(ids);
    }
    std::vector<float> values;
    for (int i = 0; i < count * words; ++i) {
        values.push_back(float(i) * 1.5f - 20.0f);
    }
    return floatBytes(values);
}

std::string encode(const std::string& raw, uint32_t method, int words) {
    std::vector<float> values(raw.size() / 4);
    std::memcpy(values.data(), raw.data(), raw.size());
    switch (method) {
    case 0:
        return raw;
    case 1:
        return zlibBytes(raw);
    case 2:
        return codecBytes(values);
    case 3:
        return componentMajorBytes(values, words);
    default:
        return bitPlaneBytes(raw, words);
    }
}

} // namespace

TEST(ParticleDecode, EveryMethodGivesBackTheValues) {
    const MethodCase cases[] = {
        {"positions raw", 0, 0, 3},        {"positions zlib", 0, 1, 3},
        {"positions codec", 0, 2, 3},      {"positions by component", 0, 3, 3},
        {"positions bit planes", 0, 4, 3}, {"size codec", 2, 2, 1},
        {"colour by component", 4, 3, 3},  {"identifiers raw", 10, 0, 2},
        {"identifiers zlib", 10, 1, 2},    {"identifiers bit planes", 10, 4, 2},
        {"integers bit planes", 13, 4, 1}, {"undefined channel bit planes", 20, 4, 1},
    };
    // 70 particles: two full plane words and a partial one.
    const int count = 70;
    for (const MethodCase& row : cases) {
        FluxaFrameData frame;
        giveGroups(frame, {count});
        FluxaFrameData::PGroup& group = frame.groups[0];
        const std::string raw = channelBytes(row.channel, count, row.words);
        storeChannel(group, row.channel, row.method, encode(raw, row.method, row.words));
        EXPECT_EQ(valuesOf(group, row.channel), raw) << row.label;
        EXPECT_EQ(group.channels[row.channel].compressed.Count(), 0) << row.label;
    }
}

TEST(ParticleDecode, AChannelIsDecodedOnce) {
    FluxaFrameData frame;
    giveGroups(frame, {4});
    FluxaFrameData::PGroup& group = frame.groups[0];
    storeChannel(group, 2, 1, zlibBytes(floatBytes({1, 2, 3, 4})));
    float value = 0;
    ASSERT_TRUE(group.getValue(3, 2, &value));
    EXPECT_EQ(value, 4.0f);
    const char* decoded = group.channels[2].decoded.Data();
    // The stored bytes are gone; a second decode would fail, so the values must be kept.
    ASSERT_TRUE(group.getValue(0, 2, &value));
    EXPECT_EQ(value, 1.0f);
    EXPECT_EQ(group.channels[2].decoded.Data(), decoded);
    EXPECT_TRUE(group.hasChannel(2));
}

TEST(ParticleDecode, FailuresDropTheChannel) {
    struct Case {
        const char* label;
        int channel;
        uint32_t method;
        std::string bytes;
        std::string log;
    };
    const std::string zlib = zlibBytes(floatBytes(samplePositions(8)));
    const Case cases[] = {
        {"zlib cut short", 0, 1, zlib.substr(0, zlib.size() / 2),
         "Error decompressing Zip (0)\nError decompressing particle channel 0 with method 1\n"},
        {"raw bytes too few", 0, 0, floatBytes({1, 2, 3}),
         "Error decompressing particle channel 0 with method 0\n"},
        {"codec stream refused", 2, 2, "junk",
         "Error decompressing particle channel 2 with method 2\n"},
        {"bit planes of an unused channel", 7, 4, zlibBytes(std::string(128, '\0')),
         "Error decompressing particle channel 7 with method 4\n"},
    };
    for (const Case& row : cases) {
        FluxaFrameData frame;
        giveGroups(frame, {8});
        FluxaFrameData::PGroup& group = frame.groups[0];
        storeChannel(group, row.channel, row.method, row.bytes);
        float out[3] = {-1, -1, -1};
        {
            CapturedLog log;
            EXPECT_FALSE(group.getValue(0, row.channel, out)) << row.label;
            EXPECT_EQ(log.Text(), row.log) << row.label;
        }
        EXPECT_FALSE(group.hasChannel(row.channel)) << row.label;
        EXPECT_EQ(out[0], -1.0f) << row.label;
    }
}

TEST(ParticleDecode, StoredBytesThatCannotFillTheCountAreRefusedBeforeTheRoomIsHad) {
    // 2^27 particles want 1.5 GiB of positions; 20-odd zlib bytes inflate to 21 kB at
    // most, and a codec stream of one particle states 3 values. Before the fix the room
    // was allocated and zeroed, and the channel served.
    const std::vector<float> one = samplePositions(1);
    const std::pair<uint32_t, std::string> rows[] = {
        {1, zlibBytes(floatBytes(one))},
        {4, zlibBytes(floatBytes(one))},
        {2, codecBytes(one)},
        {3, componentMajorBytes(one, 3)},
    };
    for (const auto& [method, bytes] : rows) {
        FluxaFrameData frame;
        giveGroups(frame, {1 << 27});
        FluxaFrameData::PGroup& group = frame.groups[0];
        storeChannel(group, 0, method, bytes);
        CapturedLog log;
        float out[3];
        EXPECT_FALSE(group.getValue(0, 0, out)) << method;
        EXPECT_EQ(group.channels[0].decoded.Capacity(), 0) << method;
        EXPECT_EQ(log.Text(), "Error decompressing particle channel 0 with method " +
                                  std::to_string(method) + "\n");
    }
    // A stream that merely ends early leaves the particles it does not reach zero.
    FluxaFrameData frame;
    giveGroups(frame, {4});
    storeChannel(frame.groups[0], 2, 1, zlibBytes(floatBytes({5, 6})));
    EXPECT_EQ(valuesOf(frame.groups[0], 2), floatBytes({5, 6, 0, 0}));
}

// Before the fix, the first request sized the decoded array before refusing the method,
// and the second request returned its uninitialised bytes as success.
TEST(ParticleDecode, AnUnknownMethodFailsTheSameWayEveryTime) {
    FluxaFrameData frame;
    giveGroups(frame, {2});
    FluxaFrameData::PGroup& group = frame.groups[0];
    storeChannel(group, 0, 5, floatBytes(samplePositions(2)));
    CapturedLog log;
    float out[3];
    EXPECT_FALSE(group.getValue(0, 0, out));
    EXPECT_FALSE(group.getValue(0, 0, out));
    EXPECT_EQ(group.channels[0].decoded.Count(), 0);
    EXPECT_EQ(log.Text(), "") << "refused without a message";
}

TEST(ParticleDecode, GetValueRefusesWhatIsNotThere) {
    FluxaFrameData frame;
    giveGroups(frame, {2});
    FluxaFrameData::PGroup& group = frame.groups[0];
    group.velocitySource = 0x30000;
    storeChannel(group, 0, 0, floatBytes(samplePositions(2)));
    storeChannel(group, 6, 0, "abcd");
    const float untouched = -9.0f;
    float out[3] = {untouched, untouched, untouched};
    EXPECT_FALSE(group.getValue(-1, 0, out));
    EXPECT_FALSE(group.getValue(2, 0, out));
    EXPECT_FALSE(group.getValue(0, -1, out));
    EXPECT_FALSE(group.getValue(0, 32, out));
    EXPECT_FALSE(group.getValue(0, 3, out)) << "absent channel";
    EXPECT_FALSE(group.hasChannel(1));
    EXPECT_FALSE(group.getValue(0, 1, out)) << "no velocities and no grid to take them from";
    EXPECT_EQ(out[0], untouched);
    // An unused channel that is present copies nothing and succeeds.
    EXPECT_TRUE(group.getValue(1, 6, out));
    EXPECT_EQ(out[0], untouched);
    CapturedLog log;
    EXPECT_FALSE(group.decompressChannel(3, true));
    EXPECT_EQ(log.Text(), "PGroup::decompressChannel failed: no compression data!");
}
