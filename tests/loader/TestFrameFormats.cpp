// SPDX-License-Identifier: Apache-2.0
// The format dispatch: each extension reaches its reader or writer, in any letter case.
#include "cachefile/KorReader.h"
#include "cachefile/KorWriter.h"
#include "frame/LoadResult.h"
#include "loader/FrameFormats.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <gtest/gtest.h>

using namespace kortest;

TEST(FrameFormats, HeaderOnlyCacheFilesSkipTheRecordTable) {
    TempDirectory directory;
    const std::string table = gridRecord(2, constantStream(8, 0.5f));
    const std::string path = directory.Write("FRAME.KOR", korHeader(gridTag(2, 2, 2, table)));
    FluxaFrameData frame;
    ASSERT_EQ(loadFrameFileHeaderOnly(path.c_str(), &frame, nullptr), LoadOk);
    EXPECT_EQ(frame.gridSize[2], 2);
    EXPECT_EQ(frame.recordWords, 1) << "the header-only reader leaves a placeholder table";
    ASSERT_EQ(loadFrame(&frame, path.c_str(), CharString()), LoadOk);
    EXPECT_EQ(frame.recordWords, int32_t(table.size() / 4));
}

TEST(FrameFormats, SaveExpandsThePatternAndCreatesDirectories) {
    TempDirectory directory;
    FluxaFrameData frame;
    frame.frameNumber = 7;
    CapturedLog log;
    const std::string pattern = directory.File("a/b/smoke_####.kor");
    ASSERT_EQ(saveFrame(&frame, pattern.c_str(), 0), WriteOk);
    EXPECT_EQ(log.Text(),
              "Save Frame 7\nSave Frame Try 0\nChannels data size in file is 0 elements.\n"
              "Save Frame Result 0\n");
    FluxaFrameData read;
    EXPECT_EQ(readKorFile(&read, directory.File("a/b/smoke_0007.kor").c_str(), false), LoadOk);
}

TEST(FrameFormats, SaveGivesUpAfterSixAttemptsAndSendsVdbToThePlugin) {
    TempDirectory directory;
    FluxaFrameData frame;
    frame.frameNumber = 1;
    CapturedLog log;
    // A directory cannot be opened for writing.
    EXPECT_EQ(saveFrame(&frame, directory.Path().c_str(), 0), WriteFailed);
    std::string expected = "Save Frame 1\n";
    for (int attempt = 0; attempt < 6; ++attempt) {
        expected += "Save Frame Try " + std::to_string(attempt) + "\n";
    }
    EXPECT_EQ(log.Text(), expected + "Save Frame Result 10\n");

    CapturedLog vdbLog;
    EXPECT_EQ(saveFrame(&frame, directory.File("x.VDB").c_str(), 0), WriteFailed);
    EXPECT_EQ(vdbLog.Text(), "Save Frame 1\nSave Frame Result 10\n");
}
