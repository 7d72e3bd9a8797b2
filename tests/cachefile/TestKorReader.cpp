// SPDX-License-Identifier: Apache-2.0
#include "cachefile/KorReader.h"
#include "frame/LoadResult.h"
#include "particles/PGroup.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kortest;

namespace {

const std::string brokenPrefix = "FluxaFrameData::ImportKor broken or bad memory allocation. "
                                 "File is: ";

struct ReadOutcome {
    int result;
    std::string log;
    std::string path;
};

ReadOutcome readBytes(FluxaFrameData& frame, const std::string& bytes, bool headerOnly = false) {
    static TempDirectory directory;
    static int serial = 0;
    const std::string path = directory.Write("frame" + std::to_string(serial++) + ".kor", bytes);
    CapturedLog log;
    const int result = readKorFile(&frame, path.c_str(), headerOnly);
    return {result, log.Text(), path};
}

std::string gridOf(const std::string& table) {
    return gridTag(2, 2, 1, table);
}

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

} // namespace

TEST(KorReader, RefusesWhatCannotBeRead) {
    FluxaFrameData frame;
    CapturedLog log;
    EXPECT_EQ(readKorFile(&frame, nullptr, false), LoadNothingToRead);
    EXPECT_EQ(readKorFile(&frame, "", false), LoadNothingToRead);
    EXPECT_EQ(readKorFile(&frame, "/nonexistent/dir/frame.kor", false), LoadNothingToRead);
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(frame.frameNumber, 0) << "the reader starts from frame number 0";
}

// Every failure row: the bytes, what is logged before the broken message, the result.
TEST(KorReader, FailureRows) {
    const std::string header = korHeader(gridOf(gridRecord(2, constantStream(4, 1.0f))));
    struct Row {
        const char* label;
        std::string bytes;
        const char* logged; // before the broken message; null: nothing at all
        int result;
    };
    const std::vector<Row> rows = {
        {"shorter than 8 bytes", "KORA", "Failed while seeking to kora2 magic!\n", 4},
        {"empty file", "", "Failed while seeking to kora2 magic!\n", 4},
        {"trailer magic, no room for a version", "KORA2FLX", "Failed to seek to kora2 version!\n",
         4},
        {"negative 32-bit data offset",
         KorBytes().raw(header).i32(-5).i32(3).raw("KORA2FLX").bytes(), nullptr, 3},
        {"negative 64-bit data offset",
         KorBytes().raw(header).i64(-5).i32(4).raw("KORA2FLX").bytes(), "", 4},
        {"data offset beyond the file",
         KorBytes().raw(header).i64(1 << 30).i32(4).raw("KORA2FLX").bytes(), "", 4},
        {"header magic", KorBytes().raw("KORB").i32(0).i32(0).bytes(), "no hdr\n", 4},
        {"no tag after a record", KorBytes().raw("KORA").i32(4).i32(1).u16(0).bytes(), "0\n", 4},
        {"negative record words",
         KorBytes().raw("KORA").i32(3).i32(1).i32(1).i32(1).i32(-1).bytes(),
         "FluxaFrameData::ImportKor bad comprDataSzInts!", 4},
        {"record words beyond the file",
         KorBytes().raw("KORA").i32(3).i32(1).i32(1).i32(1).i32(1000).i32(0).i32(0).bytes(),
         "x41\n", 4},
        {"short transform", KorBytes().raw("KORA").i32(2).f32(1).f32(0).bytes(), "2\n", 4},
        {"short grid size", KorBytes().raw("KORA").i32(3).i32(1).i32(1).bytes(), "3\n", 4},
        {"short frame number", KorBytes().raw("KORA").i32(4).u16(1).bytes(), "4\n", 4},
        {"short float b", KorBytes().raw("KORA").i32(5).u16(1).bytes(), "7\n", 4},
        {"short extra transform", KorBytes().raw("KORA").i32(6).f32(1).bytes(), "6\n", 4},
        {"short tag 8", KorBytes().raw("KORA").i32(8).u16(1).bytes(), "20\n", 4},
        {"short tag 9", KorBytes().raw("KORA").i32(9).f32(1).u16(1).bytes(), "22\n", 4},
        {"short tag 10", KorBytes().raw("KORA").i32(10).f64(1).i32(0).bytes(), "25\n", 4},
        {"short tag 11 bytes",
         KorBytes().raw("KORA").i32(11).raw(std::string(144, '\0')).i32(0).bytes(), "x111\n", 4},
        {"short header block", KorBytes().raw("KORA").i32(12).i32(100).i32(0).bytes(), "12\n", 4},
        {"header block rest beyond the file",
         KorBytes().raw("KORA").i32(12).i32(-1).raw(std::string(392, '\0')).i32(0).bytes(),
         "x121\n", 4},
        {"short raw legacy particles", KorBytes().raw("KORA").i32(7).i32(1).bytes(), "x91\n", 4},
        {"short coded legacy particles", KorBytes().raw("KORA").i32(13).i32(1).bytes(), "13\n", 4},
        {"chunk list runs into the end",
         KorBytes().raw(header).i64(int64_t(header.size()) + 16).i32(4).raw("KORA2FLX").bytes(),
         "Failed reading chunk id!\n", 4},
        {"negative chunk size", korFile(header, KorBytes().i32(5000).i64(-12).bytes()), "", 4},
        {"chunk size beyond the file", korFile(header, KorBytes().i32(5000).i64(1 << 20).bytes()),
         "", 4},
        {"note longer than the file", korFile(header, korChunk(1001, KorBytes().i32(5000).bytes())),
         "", 4},
        {"negative note length", korFile(header, korChunk(1001, KorBytes().i32(-1).bytes())), "",
         4},
        {"more groups than bytes", korFile(header, korChunk(1000, KorBytes().i32(1 << 28).bytes())),
         "", 4},
        {"negative group count", korFile(header, korChunk(1000, KorBytes().i32(-1).bytes())), "",
         4},
        {"more ranges than bytes", korFile(header, korChunk(1003, KorBytes().i32(1 << 28).bytes())),
         "", 4},
    };
    for (const Row& row : rows) {
        FluxaFrameData frame;
        const ReadOutcome outcome = readBytes(frame, row.bytes);
        EXPECT_EQ(outcome.result, row.result) << row.label;
        const std::string expected =
            row.logged == nullptr ? "" : row.logged + brokenPrefix + outcome.path + "\n";
        EXPECT_EQ(outcome.log, expected) << row.label;
        if (row.result != LoadOk) {
            EXPECT_EQ(frame.recordTable, nullptr) << row.label;
            EXPECT_EQ(frame.recordWords, 0) << row.label;
        }
    }
}

TEST(KorReader, ReadsEveryHeaderTag) {
    const std::string table = gridRecord(2, constantStream(4, 1.0f));
    KorBytes records;
    records.i32(1).u32(0x80000016u);
    records.i32(2).floats({2, 0, 0, 0, 3, 0, 0, 0, 4, 10, 20, 30});
    records.raw(gridTag(2, 2, 1, table));
    records.i32(4).i32(-7);
    records.i32(5).f32(0.25f);
    records.i32(6).floats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    records.i32(8).f32(0.5f);
    records.i32(9).f32(1.5f).f32(2.5f);
    records.i32(11).floats(std::vector<float>(36, 9.0f)).raw("ABCDEFGH");
    records.i32(10).f64(3.25).f64(4.75);
    FluxaFrameData frame;
    ASSERT_EQ(readBytes(frame, korHeader(records.bytes())).result, LoadOk);
    EXPECT_EQ(frame.channelMask, 0x80000016u);
    EXPECT_EQ(frame.flags.backup, 1u);
    EXPECT_EQ(frame.transform[0], 2.0f);
    EXPECT_EQ(frame.transform[11], 30.0f);
    EXPECT_EQ(frame.gridSize[0], 2);
    EXPECT_EQ(frame.gridSize[2], 1);
    ASSERT_EQ(frame.recordWords, int32_t(table.size() / 4));
    EXPECT_EQ(std::memcmp(frame.recordTable, table.data(), table.size()), 0);
    EXPECT_EQ(frame.frameNumber, -7);
    EXPECT_EQ(frame.headerFloatB, 0.25f);
    EXPECT_EQ(frame.extraTransforms[0][0], 9.0f) << "tag 11 came after tag 6";
    EXPECT_EQ(frame.extraTransforms[2][11], 9.0f);
    EXPECT_EQ(std::memcmp(frame.headerBlock + 384, "ABCDEFGH", 8), 0);
    float at348;
    std::memcpy(&at348, frame.headerBlock + 348, 4);
    EXPECT_EQ(at348, 1.5f);
    EXPECT_EQ(frame.headerFloatA, 2.5f);
    double at8, at16;
    std::memcpy(&at8, frame.headerBlock + 8, 8);
    std::memcpy(&at16, frame.headerBlock + 16, 8);
    EXPECT_EQ(at8, 3.25) << "tag 10 came after tag 8";
    EXPECT_EQ(at16, 4.75);
}

TEST(KorReader, ResetsTheHeaderFirst) {
    FluxaFrameData frame;
    frame.channelMask = 5;
    frame.headerBlock[7] = 1;
    ASSERT_EQ(readBytes(frame, korHeader("")).result, LoadOk);
    EXPECT_EQ(frame.channelMask, 0u);
    EXPECT_EQ(frame.headerBlock[7], 0);
    EXPECT_EQ(frame.headerFloatA, 0.001f);
    EXPECT_EQ(bitsOf(frame.headerFloatB), 0x3D088889u);
    EXPECT_EQ(frame.frameNumber, 0);
    EXPECT_EQ(frame.recordTable, nullptr);
}

TEST(KorReader, Tag8StoresADoubleAtByte8) {
    FluxaFrameData frame;
    ASSERT_EQ(readBytes(frame, korHeader(KorBytes().i32(8).f32(0.1f).bytes())).result, LoadOk);
    double stored;
    std::memcpy(&stored, frame.headerBlock + 8, 8);
    EXPECT_EQ(stored, double(0.1f));
}

TEST(KorReader, HeaderBlockTakesAtMost392Bytes) {
    const std::string block(400, 'b');
    FluxaFrameData frame;
    // The 8 bytes beyond the block are discarded: tag 4 after them is still read.
    ASSERT_EQ(
        readBytes(frame, korHeader(KorBytes().i32(12).i32(400).raw(block).i32(4).i32(77).bytes()))
            .result,
        LoadOk);
    EXPECT_EQ(frame.headerBlock[391], 'b');
    EXPECT_EQ(frame.frameNumber, 77);

    FluxaFrameData partial;
    const std::string records =
        KorBytes().i32(9).f32(6.0f).f32(0).i32(12).i32(100).raw(std::string(100, 'p')).bytes();
    ASSERT_EQ(readBytes(partial, korHeader(records)).result, LoadOk);
    EXPECT_EQ(partial.headerBlock[99], 'p');
    EXPECT_EQ(partial.headerBlock[100], 0);
    float at348;
    std::memcpy(&at348, partial.headerBlock + 348, 4);
    EXPECT_EQ(at348, 6.0f) << "bytes beyond S keep their value";
}

TEST(KorReader, UnknownTagEndsTheHeader) {
    for (const int32_t tag : {14, -3}) {
        FluxaFrameData frame;
        const std::string bytes =
            KorBytes().raw("KORA").i32(4).i32(5).i32(tag).i32(4).i32(6).bytes();
        ASSERT_EQ(readBytes(frame, bytes).result, LoadOk) << tag;
        EXPECT_EQ(frame.frameNumber, 5) << "records after tag " << tag << " are not read";
    }
}

TEST(KorReader, ReadsTheChunkList) {
    const std::string header = korHeader(KorBytes().i32(4).i32(3).bytes());
    const std::string chunks =
        summaryChunk({{"smoke", 10, 1, 0x30000}, {"", 0, 0, 0}}, {-1, -2, -3, 1, 2, 3}) +
        korChunk(1001, KorBytes().str("hello").bytes()) +
        korChunk(4242, "0123456789") + // skipped by its size
        korChunk(1003, KorBytes()
                           .i32(3)
                           .i32(2)
                           .f32(0)
                           .f32(5)
                           .i32(40)
                           .f32(1)
                           .f32(2)
                           .i32(31)
                           .f32(-1)
                           .f32(1)
                           .bytes());
    FluxaFrameData frame;
    const ReadOutcome outcome = readBytes(frame, korFile(header, chunks));
    ASSERT_EQ(outcome.result, LoadOk) << outcome.log;
    ASSERT_EQ(frame.groups.Count(), 2);
    EXPECT_STREQ(frame.groups[0].getName(), "smoke");
    EXPECT_EQ(frame.groups[0].count, 10);
    EXPECT_EQ(frame.groups[0].channelMask, 1u);
    EXPECT_EQ(frame.groups[0].velocitySource, 0x30000u);
    EXPECT_EQ(frame.groups[0].frame, &frame);
    EXPECT_EQ(frame.particleBoundsMin[2], -3.0f);
    EXPECT_EQ(frame.particleBoundsMax[0], 1.0f);
    EXPECT_STREQ(frame.note.Chars(), "hello");
    EXPECT_EQ(frame.channelMin[2], 0.0f);
    EXPECT_EQ(frame.channelMax[2], 5.0f);
    EXPECT_EQ(frame.channelMin[31], -1.0f);
    EXPECT_EQ(frame.frameNumber, 3) << "the header follows the chunks";
}

TEST(KorReader, OlderTrailers) {
    const std::string header = korHeader(KorBytes().i32(4).i32(9).bytes());
    // Version 3: 32-bit offset and sizes.
    FluxaFrameData v3;
    const std::string chunks3 =
        korChunk(4242, "0123456789", 3) + korChunk(1001, KorBytes().str("three").bytes(), 3);
    ASSERT_EQ(readBytes(v3, korFile(header, chunks3, 3)).result, LoadOk);
    EXPECT_STREQ(v3.note.Chars(), "three");
    EXPECT_EQ(v3.frameNumber, 9);
    // Version 2: the list ends after the summary; what follows is never looked at.
    FluxaFrameData v2;
    const std::string chunks2 = summaryChunk({{"g", 1, 0, 0}}, {0, 0, 0, 1, 1, 1}, 2) + "garbage!";
    ASSERT_EQ(readBytes(v2, korFile(header, chunks2, 2)).result, LoadOk);
    EXPECT_EQ(v2.groups.Count(), 1);
    EXPECT_EQ(v2.frameNumber, 9);
}

TEST(KorReader, HeaderOnlySkipsTheBulk) {
    const std::string table = gridRecord(2, constantStream(4, 1.0f));
    const std::string header = korHeader(gridOf(table) + KorBytes().i32(4).i32(12).bytes());
    // A particle data chunk that would not parse is skipped by its size as well.
    const std::string chunks = korChunk(1002, "not particle data");
    FluxaFrameData frame;
    ASSERT_EQ(readBytes(frame, korFile(header, chunks), true).result, LoadOk);
    EXPECT_EQ(frame.recordWords, 1);
    EXPECT_NE(frame.recordTable, nullptr);
    EXPECT_EQ(frame.gridSize[0], 2);
    EXPECT_EQ(frame.frameNumber, 12);
}

// A cut file either loads or is refused, and never reads out of bounds (run under ASan).
TEST(KorReader, EveryPrefixLoadsOrIsRefused) {
    const std::string table =
        gridRecord(2, constantStream(4, 1.0f)) + gridRecord(1, rawStream({1, 2, 3, 4}));
    KorBytes records;
    records.i32(1).u32(6).i32(2).floats(std::vector<float>(12, 1.0f)).raw(gridOf(table));
    records.i32(12).i32(392).raw(std::string(392, 'h'));
    const std::string header = korHeader(records.bytes());
    const std::string chunks = summaryChunk({{"g", 3, 1, 0}}, {0, 0, 0, 1, 1, 1}) +
                               korChunk(1001, KorBytes().str("note").bytes()) +
                               korChunk(1003, KorBytes().i32(1).i32(2).f32(0).f32(1).bytes());
    const std::string file = korFile(header, chunks);
    for (size_t length = 0; length <= file.size(); ++length) {
        FluxaFrameData frame;
        const int result = readBytes(frame, file.substr(0, length)).result;
        if (length >= header.size() && length < file.size()) {
            EXPECT_EQ(result, LoadOk) << "a cut trailer leaves a header-only file: " << length;
        } else if (length < header.size()) {
            EXPECT_EQ(result, LoadBrokenFile) << length;
        } else {
            EXPECT_EQ(result, LoadOk) << length;
            EXPECT_STREQ(frame.note.Chars(), "note");
        }
    }
}

TEST(KorReader, CheckedInFiles) {
    const std::filesystem::path data = std::filesystem::path(KORLOADER_SOURCE_DIR) / "tests/data";
    int seen = 0;
    for (const char* kind : {"golden", "broken"}) {
        for (const auto& entry : std::filesystem::directory_iterator(data / kind)) {
            if (entry.path().extension() != ".kor") {
                continue;
            }
            FluxaFrameData frame;
            CapturedLog log;
            const int result = readKorFile(&frame, entry.path().string().c_str(), false);
            EXPECT_EQ(result, std::string(kind) == "golden" ? LoadOk : LoadBrokenFile)
                << entry.path();
            ++seen;
        }
    }
    EXPECT_GE(seen, 9);
}
