// SPDX-License-Identifier: Apache-2.0
// The particle payloads as the reader meets them: chunk 1002 with every method, the
// legacy sections of tags 7 and 13 with their sub-records and bounds, and hostile bytes.
#include "frame/LoadResult.h"
#include "particles/PGroup.h"
#include "tests/common/CapturedOutput.h"
#include "tests/particles/ParticleBytes.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace kortest;

namespace {

const std::string BrokenPrefix = "FluxaFrameData::ImportKor broken or bad memory allocation.";

std::string withChunk1002(const std::vector<ChunkGroup>& groups) {
    return particleFile("", korChunk(1002, particleChunkBody(groups)));
}

std::vector<float> floatsOf(const std::string& bytes) {
    std::vector<float> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

} // namespace

TEST(ParticleRecords, Chunk1002KeepsChannelsStoredUntilAsked) {
    const int count = 33;
    const std::vector<float> positions = samplePositions(count);
    const std::string velocities = floatBytes(samplePositions(count));
    std::vector<float> sizes(count, 0.25f);
    std::vector<int64_t> ids;
    for (int i = 0; i < count; ++i) {
        ids.push_back(1000 - i);
    }
    FluxaFrameData frame;
    ASSERT_EQ(
        readParticleBytes(frame, withChunk1002({{"sparks",
                                                 0x30000,
                                                 count,
                                                 -77,
                                                 {{0, 2, codecBytes(positions)},
                                                  {1, 1, zlibBytes(velocities)},
                                                  {2, 0, floatBytes(sizes)},
                                                  {4, 3, componentMajorBytes(positions, 3)},
                                                  {10, 4, bitPlaneBytes(int64Bytes(ids), 2)}}},
                                                {"empty", 0, 0, 0, {}}})),
        LoadOk);
    ASSERT_EQ(frame.groups.Count(), 2);
    FluxaFrameData::PGroup& group = frame.groups[0];
    EXPECT_STREQ(group.getName(), "sparks");
    EXPECT_EQ(group.extra, -77);
    EXPECT_EQ(group.velocitySource, 0x30000u);
    // Bit 1 asks the frame, which has no velocity grid, although velocities are stored.
    EXPECT_EQ(group.channelMask, 0x415u);
    EXPECT_EQ(group.channels[0].decoded.Count(), 0) << "decoded on request only";
    EXPECT_EQ(group.getParticleCount(), count);
    EXPECT_EQ(floatsOf(valuesOf(group, 0)), positions);
    EXPECT_EQ(floatsOf(valuesOf(group, 4)), positions);
    EXPECT_EQ(valuesOf(group, 2), floatBytes(sizes));
    EXPECT_EQ(valuesOf(group, 10), int64Bytes(ids));
    EXPECT_EQ(group.findParticleById(1000), 0);
    EXPECT_EQ(group.findParticleById(1000 - 32), 32);
    EXPECT_EQ(frame.groups[1].getParticleCount(), 0);
    EXPECT_EQ(frame.getParticleGroupCount(), 1);
}

TEST(ParticleRecords, HostileChunk1002IsABrokenFile) {
    struct Case {
        const char* label;
        std::string body;
        const char* logged;
    };
    const std::string group = KorBytes().str("g").i32(0).i32(1).i64(0).bytes();
    const Case cases[] = {
        {"channel 32", KorBytes().i32(1).raw(group).i32(1).i32(32).i32(0).i32(0).bytes(), ""},
        {"channel -1", KorBytes().i32(1).raw(group).i32(1).i32(-1).i32(0).i32(0).bytes(), ""},
        {"negative size", KorBytes().i32(1).raw(group).i32(1).i32(0).i32(0).i32(-4).bytes(),
         "Failed to load compressed particle data!\n"},
        {"size beyond the file",
         KorBytes().i32(1).raw(group).i32(1).i32(0).i32(0).i32(1 << 30).bytes(),
         "Failed to load compressed particle data!\n"},
        {"more channels than bytes", KorBytes().i32(1).raw(group).i32(1 << 28).bytes(), ""},
        {"more groups than bytes", KorBytes().i32(1 << 28).bytes(), ""},
        {"negative group count", KorBytes().i32(-1).bytes(), ""},
    };
    for (const Case& row : cases) {
        FluxaFrameData frame;
        std::string log;
        EXPECT_EQ(readParticleBytes(frame, particleFile("", korChunk(1002, row.body)), &log),
                  LoadBrokenFile)
            << row.label;
        EXPECT_EQ(log.substr(0, log.find(BrokenPrefix)), row.logged) << row.label;
    }
}

TEST(ParticleRecords, RawLegacySection) {
    const std::vector<float> positions = {1, 2, 3, -4, 5, -6};
    const std::string records =
        legacySection(7, {{"foam",
                           2,
                           {{0, floatBytes(positions)}, {3, floatBytes({0.5f, 0.75f})}},
                           KorBytes().i32(1).i32(0x30000).i32(3).i64(1LL << 40).bytes()}});
    FluxaFrameData frame;
    std::string log;
    ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(records), &log), LoadOk) << log;
    ASSERT_EQ(frame.groups.Count(), 1);
    FluxaFrameData::PGroup& group = frame.groups[0];
    EXPECT_STREQ(group.getName(), "foam");
    EXPECT_EQ(group.velocitySource, 0x30000u);
    EXPECT_EQ(group.extra, 1LL << 40);
    EXPECT_EQ(floatsOf(valuesOf(group, 0)), positions);
    EXPECT_EQ(valuesOf(group, 3), floatBytes({0.5f, 0.75f}));
    // Without a summary the bounds come from the positions.
    EXPECT_EQ(frame.particleBoundsMin[0], -4.0f);
    EXPECT_EQ(frame.particleBoundsMin[2], -6.0f);
    EXPECT_EQ(frame.particleBoundsMax[1], 5.0f);
    EXPECT_EQ(frame.particleBoundsMax[2], 3.0f);
}

TEST(ParticleRecords, CodedLegacySectionIsStoredComponentByComponent) {
    // x0 x1 y0 y1 z0 z1 decodes to x0 y0 z0 x1 y1 z1.
    const std::string records = legacySection(
        13, {{"g", 2, {{0, rawStream({1, 2, 3, 4, 5, 6})}, {9, rawStream({7, 8})}}, ""}});
    FluxaFrameData frame;
    ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(records)), LoadOk);
    FluxaFrameData::PGroup& group = frame.groups[0];
    EXPECT_EQ(floatsOf(valuesOf(group, 0)), (std::vector<float>{1, 3, 5, 2, 4, 6}));
    EXPECT_EQ(floatsOf(valuesOf(group, 9)), (std::vector<float>{7, 8}));
}

TEST(ParticleRecords, CodedLegacyChannelMustStateEveryParticle) {
    // A damaged count of 2^24 with a stream of one particle's positions. Before the fix
    // 400 MB were allocated and zeroed at open, and the zeros served as positions.
    const std::string records =
        legacySection(13, {{"g", 1 << 24, {{0, rawStream({1, 2, 3})}}, ""}});
    FluxaFrameData frame;
    ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(records)), LoadOk);
    EXPECT_FALSE(frame.groups[0].hasChannel(0));
}

TEST(ParticleRecords, LegacyIdentifiersAreRunningSums) {
    struct Case {
        std::vector<int64_t> deltas;
        std::vector<int64_t> ids;
        std::vector<int32_t> order;
    };
    const Case cases[] = {
        {{5, 1, 1, 1}, {5, 6, 7, 8}, {}},
        {{5, 1, -3, 1}, {5, 6, 3, 4}, {2, 3, 0, 1}},
        {{-(1LL << 40), 1LL << 41, 1, 7},
         {-(1LL << 40), 1LL << 40, (1LL << 40) + 1, (1LL << 40) + 8},
         {}},
    };
    for (const Case& row : cases) {
        const std::string stream = identifierStream(row.deltas);
        const std::string records = legacySection(
            7, {{"g", 4, {}, KorBytes().i32(2).i32(int32_t(stream.size())).raw(stream).bytes()}});
        FluxaFrameData frame;
        ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(records)), LoadOk);
        FluxaFrameData::PGroup& group = frame.groups[0];
        EXPECT_EQ(valuesOf(group, 10), int64Bytes(row.ids));
        ASSERT_EQ(group.idOrder.Count(), int32_t(row.order.size()));
        for (size_t i = 0; i < row.order.size(); ++i) {
            EXPECT_EQ(group.idOrder[int32_t(i)], row.order[i]);
        }
        for (int32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(group.findParticleById(row.ids[size_t(i)]), i);
        }
    }
}

TEST(ParticleRecords, LegacyIdentifiersFromAOneEntryTable) {
    // Every delta equal, so every code is zero bits long: W 0, one entry, bias 5, F 1,
    // S 0, then the entry (flag 1, frequency 1). Before the fix 100 identifiers from 12
    // bytes failed the one-bit-per-value bound, and the whole frame was lost.
    const std::string stream = KorBytes().u8(0).u32(1).u32(5).u16(0x3001).u8(0).bytes();
    const std::string records = legacySection(
        7, {{"g", 100, {}, KorBytes().i32(2).i32(int32_t(stream.size())).raw(stream).bytes()}});
    FluxaFrameData frame;
    ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(records)), LoadOk);
    std::vector<int64_t> ids;
    for (int64_t i = 1; i <= 100; ++i) {
        ids.push_back(i * (5 + (int64_t(5) << 32)));
    }
    EXPECT_EQ(valuesOf(frame.groups[0], 10), int64Bytes(ids));
}

TEST(ParticleRecords, LegacyBoundsCountBadParticlesAndSkipGroupsWithoutPositions) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::string records = legacySection(
        7, {{"lost", 3, {{2, floatBytes({1, 2, 3})}}, ""},
            {"stray", 4, {{0, floatBytes({1, 1, 1, inf, 0, 0, 2, 2, 2, 1e6f, 0, 0})}}, ""}});
    FluxaFrameData frame;
    std::string log;
    CapturedDebugOutput debugger;
    ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(records), &log), LoadOk);
    EXPECT_EQ(log, "bad particles found in group stray, count:2\n");
    // After the single-threaded job set's own warnings.
    const std::string debugText = debugger.Text();
    EXPECT_EQ(debugText.substr(debugText.find('#')),
              "#bad particles found in group stray, count:2\n");
    EXPECT_EQ(frame.particleBoundsMin[0], 1.0f);
    EXPECT_EQ(frame.particleBoundsMax[0], 2.0f);
}

TEST(ParticleRecords, HeaderOnlyWithASummarySkipsTheParticleData) {
    const std::string stream = identifierStream({1, 1});
    const std::string records = legacySection(
        13, {{"g",
              2,
              {{0, rawStream({1, 2, 3, 4, 5, 6})}},
              KorBytes().i32(2).i32(int32_t(stream.size())).raw(stream).i32(1).i32(9).bytes()}});
    const std::string chunks = summaryChunk({{"g", 2, 1, 0}}, {0, 0, 0, 9, 9, 9});
    FluxaFrameData frame;
    ASSERT_EQ(readParticleBytes(frame, particleFile(records, chunks), nullptr, true), LoadOk);
    ASSERT_EQ(frame.groups.Count(), 1);
    EXPECT_FALSE(frame.groups[0].hasChannel(0));
    EXPECT_FALSE(frame.groups[0].hasChannel(10));
    EXPECT_EQ(frame.groups[0].velocitySource, 9u);
    EXPECT_EQ(frame.groups[0].channelMask, 1u) << "from the summary";
    EXPECT_EQ(frame.particleBoundsMax[0], 9.0f) << "the summary's bounds stay";
}

TEST(ParticleRecords, HeaderOnlyWithoutASummarySkipsTheIdentifiers) {
    // An identifier stream that a full read refuses: before the fix a header-only read of
    // a file without the summary decoded it too, and failed.
    const std::string stream = identifierStream({1});
    const std::string records =
        legacySection(7, {{"g",
                           100,
                           {{0, floatBytes(std::vector<float>(300, 1.0f))}},
                           KorBytes().i32(2).i32(int32_t(stream.size())).raw(stream).bytes()}});
    FluxaFrameData frame;
    std::string log;
    ASSERT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(records), &log, true), LoadOk)
        << log;
    EXPECT_TRUE(frame.groups[0].hasChannel(0)) << "without the summary the channels are read";
    EXPECT_FALSE(frame.groups[0].hasChannel(10));
    FluxaFrameData full;
    EXPECT_EQ(readParticleBytes(full, particleFileWithoutTrailer(records)), LoadBrokenFile);
}

TEST(ParticleRecords, HostileLegacySectionsAreBrokenFiles) {
    struct Case {
        const char* label;
        std::string records;
        const char* logged;
    };
    const std::string offsets = [] {
        KorBytes all;
        for (int c = 0; c < 32; ++c) {
            all.i32(c == 0 ? 2 : -1);
        }
        return all.bytes();
    }();
    const std::string stream = identifierStream({1});
    const Case cases[] = {
        {"unknown sub-record", legacySection(7, {{"g", 0, {}, KorBytes().i32(9).bytes()}}), "19\n"},
        {"positions past the buffer",
         legacySection(7, {{"g", 3, {{0, floatBytes({1, 2, 3})}}, ""}}), ""},
        {"offset past the buffer",
         KorBytes().i32(7).i32(1).i32(0).i32(1).str("g").i32(1).raw(offsets).i32(0).bytes(), ""},
        {"negative count with channels",
         legacySection(7, {{"g", -1, {{0, floatBytes({1, 2, 3})}}, ""}}), ""},
        {"more identifiers than bits",
         legacySection(
             7,
             {{"g", 100, {}, KorBytes().i32(2).i32(int32_t(stream.size())).raw(stream).bytes()}}),
         ""},
        {"identifier stream cut short",
         legacySection(7,
                       {{"g", 2, {}, KorBytes().i32(2).i32(8).raw(stream.substr(0, 8)).bytes()}}),
         ""},
        {"negative shared size", KorBytes().i32(13).i32(-1).bytes(), "13\n"},
        {"more groups than bytes", KorBytes().i32(7).i32(0).i32(1 << 24).bytes(), "11\n"},
    };
    for (const Case& row : cases) {
        FluxaFrameData frame;
        std::string log;
        EXPECT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(row.records), &log),
                  LoadBrokenFile)
            << row.label;
        EXPECT_EQ(log.substr(0, log.find(BrokenPrefix)), row.logged) << row.label;
    }
}
