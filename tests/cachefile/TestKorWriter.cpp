// SPDX-License-Identifier: Apache-2.0
#include "cachefile/IOErrException.h"
#include "cachefile/KorReader.h"
#include "cachefile/KorWriter.h"
#include "frame/LoadResult.h"
#include "particles/PGroup.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace kortest;

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

int32_t int32At(const std::string& bytes, size_t at) {
    int32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

int64_t int64At(const std::string& bytes, size_t at) {
    int64_t value;
    std::memcpy(&value, bytes.data() + at, 8);
    return value;
}

// The chunk bodies of a version 4 file, by id, walked from the trailer's offset.
std::map<int32_t, std::string> chunksOf(const std::string& bytes) {
    std::map<int32_t, std::string> chunks;
    EXPECT_EQ(bytes.substr(bytes.size() - 8), "KORA2FLX");
    EXPECT_EQ(int32At(bytes, bytes.size() - 12), 4);
    size_t at = size_t(int64At(bytes, bytes.size() - 20));
    EXPECT_EQ(int32At(bytes, at), 13);
    at += 4;
    while (int32At(bytes, at) != 9999999) {
        const int32_t id = int32At(bytes, at);
        const size_t size = size_t(int64At(bytes, at + 4));
        chunks[id] = bytes.substr(at + 12, size);
        at += 12 + size + (id == 1000 ? 4 : 0);
    }
    return chunks;
}

void fillFrame(FluxaFrameData& frame) {
    const std::string table =
        gridRecord(2, constantStream(24, 0.5f)) + gridRecord(4, rawStream({1, 2}));
    frame.recordTable = new int32_t[table.size() / 4];
    std::memcpy(frame.recordTable, table.data(), table.size());
    frame.recordWords = int32_t(table.size() / 4);
    frame.gridSize[0] = 2;
    frame.gridSize[1] = 3;
    frame.gridSize[2] = 4;
    frame.frameNumber = 42;
    for (int i = 0; i < 392; ++i) {
        frame.headerBlock[i] = uint8_t(i * 7 + 1);
    }
    frame.headerFloatA = 0.125f;
    frame.headerFloatB = 0.75f;
    for (int i = 0; i < 12; ++i) {
        frame.transform[i] = float(i) * 1.5f;
        frame.extraTransforms[0][i] = float(i) + 100;
        frame.extraTransforms[1][i] = float(i) + 200;
        frame.extraTransforms[2][i] = float(i) + 300;
    }
    frame.particleBoundsMin[0] = -4;
    frame.particleBoundsMax[2] = 9;
    frame.note = "a note";
    frame.channelMask = (1u << 2) | (1u << 4);
    frame.channelMin[2] = 0;
    frame.channelMax[2] = 1;
    frame.channelMin[3] = 2;
    frame.channelMax[3] = 3;
    frame.channelMin[4] = -1; // present, but never given a maximum
    frame.channelMin[9] = 0;  // a range without the channel
    frame.channelMax[9] = 1;
    ASSERT_TRUE(frame.groups.SetSize(2));
    frame.groups[0].name = "fire";
    frame.groups[0].count = 5;
    frame.groups[0].velocitySource = 0x30000;
    frame.groups[1].name = "spray";
    frame.groups[1].count = 3;
    frame.groups[1].channels[2].compressed.SetSize(4);
}

} // namespace

TEST(KorWriter, RoundTripKeepsEveryField) {
    TempDirectory directory;
    FluxaFrameData written;
    fillFrame(written);
    const std::string path = directory.File("frame.kor");
    ASSERT_EQ(writeKorFile(&written, path.c_str(), 0x80000006u), WriteOk);

    FluxaFrameData read;
    ASSERT_EQ(readKorFile(&read, path.c_str(), false), LoadOk);
    EXPECT_EQ(read.channelMask, 0x80000006u) << "the save mask becomes the channel mask";
    EXPECT_EQ(read.flags.backup, 1u);
    ASSERT_EQ(read.recordWords, written.recordWords);
    EXPECT_EQ(std::memcmp(read.recordTable, written.recordTable, size_t(read.recordWords) * 4), 0);
    EXPECT_EQ(std::memcmp(read.gridSize, written.gridSize, sizeof read.gridSize), 0);
    EXPECT_EQ(read.frameNumber, 42);
    EXPECT_EQ(std::memcmp(read.headerBlock, written.headerBlock, 392), 0);
    EXPECT_EQ(read.headerFloatA, written.headerFloatA);
    EXPECT_EQ(read.headerFloatB, written.headerFloatB);
    EXPECT_EQ(std::memcmp(read.transform, written.transform, sizeof read.transform), 0);
    EXPECT_EQ(
        std::memcmp(read.extraTransforms, written.extraTransforms, sizeof read.extraTransforms), 0);
    EXPECT_EQ(std::memcmp(read.particleBoundsMin, written.particleBoundsMin, 12), 0);
    EXPECT_EQ(std::memcmp(read.particleBoundsMax, written.particleBoundsMax, 12), 0);
    EXPECT_STREQ(read.note.Chars(), "a note");
    // Ranges travel for channels reported present (and speed) that have a range.
    EXPECT_EQ(read.channelMax[2], 1.0f);
    EXPECT_EQ(read.channelMin[3], 2.0f);
    EXPECT_EQ(read.channelMin[4], FLT_MAX) << "a range that was never set is left out";
    EXPECT_EQ(read.channelMin[9], FLT_MAX) << "no range for an absent channel";
    ASSERT_EQ(read.groups.Count(), 2);
    EXPECT_STREQ(read.groups[0].getName(), "fire");
    EXPECT_EQ(read.groups[0].count, 5);
    EXPECT_EQ(read.groups[0].velocitySource, 0x30000u);
    EXPECT_EQ(read.groups[0].channelMask, 0u) << "the save mask has none of 0x70";
    EXPECT_STREQ(read.groups[1].getName(), "spray");
    EXPECT_EQ(read.groups[1].channelMask, 1u << 2);
}

TEST(KorWriter, GridVelocityGroupGetsTheVelocityBit) {
    TempDirectory directory;
    FluxaFrameData frame;
    ASSERT_TRUE(frame.groups.SetSize(1));
    frame.groups[0].velocitySource = 0x30000;
    const std::string path = directory.File("velocity.kor");
    ASSERT_EQ(writeKorFile(&frame, path.c_str(), 0x10), WriteOk);
    const std::string summary = chunksOf(fileBytes(path))[1000];
    // count, then name "" (4 bytes), particle count, mask.
    EXPECT_EQ(int32At(summary, 12), 2);
}

TEST(KorWriter, BareFrameHasSummaryAndNoteOnly) {
    TempDirectory directory;
    FluxaFrameData frame;
    frame.note = "abcde";
    const std::string path = directory.File("bare.kor");
    ASSERT_EQ(writeKorFile(&frame, path.c_str(), 0), WriteOk);
    const std::map<int32_t, std::string> chunks = chunksOf(fileBytes(path));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks.at(1000).size(), 28u) << "count 0 and the bounds";
    EXPECT_EQ(chunks.at(1001).size(), 9u) << "the note's count and 5 bytes";
    const std::string bytes = fileBytes(path);
    EXPECT_EQ(bytes.substr(0, 8), KorBytes().raw("KORA").i32(1).bytes());
}

TEST(KorWriter, ChannelRangesOnlyWithAGridChannel) {
    TempDirectory directory;
    FluxaFrameData frame;
    frame.channelMask = 1u << 25; // beyond the channels that call for ranges
    frame.channelMin[25] = 0;
    frame.channelMax[25] = 1;
    const std::string path = directory.File("ranges.kor");
    ASSERT_EQ(writeKorFile(&frame, path.c_str(), 0), WriteOk);
    EXPECT_EQ(chunksOf(fileBytes(path)).count(1003), 0u);

    frame.channelMask |= 1u << 1;
    frame.channelMin[1] = NAN;
    frame.channelMax[1] = 1;
    ASSERT_EQ(writeKorFile(&frame, path.c_str(), 0), WriteOk);
    const std::string ranges = chunksOf(fileBytes(path))[1003];
    EXPECT_EQ(ranges, KorBytes().i32(1).i32(25).f32(0).f32(1).bytes()) << "a NaN bound is left out";
}

TEST(KorWriter, FullDiskIsAFailure) {
    FluxaFrameData frame;
    CapturedLog log;
    // Before the flush was checked, buffered bytes lost at the close passed as written.
    EXPECT_EQ(writeKorFile(&frame, "/dev/full", 0), WriteFailed);
    EXPECT_NE(log.Text().find("File error code: 28\n"), std::string::npos) << log.Text();
}

TEST(KorWriter, ShortWriteLogsAndRaises) {
    TempDirectory directory;
    const std::string path = directory.Write("readonly", "x");
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    CapturedLog log;
    EXPECT_THROW(writeOrFail("abcd", 4, file), IOErrException);
    EXPECT_EQ(log.Text(), "WriteCacheData failed, expected 4, got 0\n");
    EXPECT_NO_THROW(writeOrFail(nullptr, 0, file));
    std::fclose(file);
}
