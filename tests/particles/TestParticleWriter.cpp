// SPDX-License-Identifier: Apache-2.0
// Particle groups through the writer and back: stored channels keep their method and
// bytes, decoded-only channels are written raw, and the summary mask's velocity rule.
#include "cachefile/KorWriter.h"
#include "frame/LoadResult.h"
#include "particles/PGroup.h"
#include "tests/common/TempDirectory.h"
#include "tests/particles/ParticleBytes.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace kortest;

namespace {

std::string writtenBytes(FluxaFrameData& frame, uint32_t saveMask) {
    static TempDirectory directory;
    static int serial = 0;
    const std::string path = directory.File("written" + std::to_string(serial++) + ".kor");
    EXPECT_EQ(writeKorFile(&frame, path.c_str(), saveMask), WriteOk);
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace

TEST(ParticleWriter, GroupsWithEveryMethodSurviveARoundTrip) {
    const int count = 40;
    const std::vector<float> positions = samplePositions(count);
    const std::string raw = floatBytes(positions);
    std::vector<int64_t> ids;
    for (int i = 0; i < count; ++i) {
        ids.push_back((i * 17) % count);
    }
    FluxaFrameData frame;
    giveGroups(frame, {count, 0});
    FluxaFrameData::PGroup& group = frame.groups[0];
    group.extra = 1LL << 50;
    group.velocitySource = 3;
    storeChannel(group, 0, 2, codecBytes(positions));
    storeChannel(group, 1, 1, zlibBytes(raw));
    storeChannel(group, 4, 3, componentMajorBytes(positions, 3));
    storeChannel(group, 10, 4, bitPlaneBytes(int64Bytes(ids), 2));
    storeChannel(group, 20, 0, std::string(count * 4, 'q'));

    FluxaFrameData read;
    ASSERT_EQ(readParticleBytes(read, writtenBytes(frame, 0)), LoadOk);
    ASSERT_EQ(read.groups.Count(), 2);
    FluxaFrameData::PGroup& back = read.groups[0];
    EXPECT_STREQ(back.getName(), "g0");
    EXPECT_EQ(back.extra, 1LL << 50);
    EXPECT_EQ(back.velocitySource, 3u);
    EXPECT_EQ(back.channelMask, 0x100413u);
    for (const int c : {0, 1, 4, 10, 20}) {
        EXPECT_EQ(back.channels[c].method, group.channels[c].method) << c;
        EXPECT_EQ(valuesOf(back, c), valuesOf(group, c)) << c;
    }
    EXPECT_EQ(back.findParticleById(17), 1);
    EXPECT_STREQ(read.groups[1].getName(), "g1");
}

// Before the fix, channels held only decoded were left out of chunk 1002, so saving a
// frame after a host had read its particles, or a legacy frame, lost them.
TEST(ParticleWriter, DecodedChannelsAreWrittenRaw) {
    const std::vector<float> positions = samplePositions(3);
    const std::string stream = identifierStream({4, -1, 2});
    const std::string legacy =
        legacySection(13, {{"old",
                            3,
                            {{0, componentMajorBytes(positions, 3)}},
                            KorBytes().i32(2).i32(int32_t(stream.size())).raw(stream).bytes()}});
    FluxaFrameData frame;
    ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(legacy)), LoadOk);
    giveGroups(frame, {3, 3}); // keeps the legacy group, adds one with a stored channel
    storeChannel(frame.groups[1], 2, 1, zlibBytes(floatBytes({1, 2, 3})));
    float size;
    ASSERT_TRUE(frame.groups[1].getValue(0, 2, &size)) << "decoded by a host request";

    FluxaFrameData read;
    ASSERT_EQ(readParticleBytes(read, writtenBytes(frame, 0)), LoadOk);
    ASSERT_EQ(read.groups.Count(), 2);
    EXPECT_EQ(read.groups[0].channels[0].method, 0u);
    EXPECT_EQ(valuesOf(read.groups[0], 0), floatBytes(positions));
    EXPECT_EQ(valuesOf(read.groups[0], 10), int64Bytes({4, 3, 5}));
    EXPECT_EQ(read.groups[0].findParticleById(3), 1);
    EXPECT_EQ(valuesOf(read.groups[1], 2), floatBytes({1, 2, 3}));
}

TEST(ParticleWriter, SummaryMaskTakesGridVelocitiesWhenTheSaveMaskHasThem) {
    FluxaFrameData frame;
    giveGroups(frame, {1, 1});
    frame.groups[0].velocitySource = 0x30000;
    frame.groups[1].velocitySource = 0x30000;
    for (const uint32_t saveMask : {0x10u, 0x40u, 0x8u}) {
        FluxaFrameData read;
        ASSERT_EQ(readParticleBytes(read, writtenBytes(frame, saveMask), nullptr, true), LoadOk);
        ASSERT_EQ(read.groups.Count(), 2);
        EXPECT_EQ(read.groups[0].channelMask, (saveMask & 0x70) != 0 ? 2u : 0u) << saveMask;
    }
}
