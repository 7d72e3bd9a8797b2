// SPDX-License-Identifier: Apache-2.0
#include "frame/LoadResult.h"
#include "loader/FrameFormats.h"
#include "loader/FrameRegistry.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

using namespace kortest;

namespace {

std::string hexAddress(const IKor* frame) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X",
                  static_cast<unsigned>(
                      reinterpret_cast<uintptr_t>(static_cast<const FluxaFrameData*>(frame))));
    return text;
}

class FrameRegistryTest : public ::testing::Test {
protected:
    std::string writeFrame(const std::string& name, int32_t frameNumber = 5) {
        return directory.Write(name, korHeader(KorBytes().i32(4).i32(frameNumber).bytes()));
    }
    void TearDown() override { EXPECT_EQ(FluxaFrame::registeredFrames().Count(), 0); }
    TempDirectory directory;
};

} // namespace

TEST_F(FrameRegistryTest, SamePathAndMappingShareOneFrame) {
    const std::string path = writeFrame("a.kor");
    CapturedLog log;
    IKor* first = newIKor(path.c_str());
    ASSERT_NE(first, nullptr);
    FluxaFrameData* const firstFrame = static_cast<FluxaFrameData*>(first);
    const std::string address = hexAddress(first);
    EXPECT_EQ(newIKorWithChannelsMapping(path.c_str(), nullptr), first);
    EXPECT_EQ(newIKorWithChannelsMapping(path.c_str(), ""), first);
    IKor* other = newIKorWithChannelsMapping(path.c_str(), "2,density;");
    EXPECT_NE(other, first) << "a different mapping is a different frame";
    deleteIKor(first);
    deleteIKor(first);
    EXPECT_EQ(FluxaFrame::registeredFrames().Find(firstFrame), 0) << "one reference is left";
    deleteIKor(first);
    EXPECT_EQ(FluxaFrame::registeredFrames().Find(firstFrame), -1);
    deleteIKor(first); // released already: ignored, never dereferenced
    deleteIKor(other);
    const std::string text = log.Text();
    EXPECT_EQ(text.find("FluxaFrameData refCount++ " + address + " 1, " + path + "\n"), 0u);
    EXPECT_NE(text.find("FluxaFrameData refCount++ " + address + " 3, " + path + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("FluxaFrameData refCount-- " + address + " 0, " + path + "\n"),
              std::string::npos);
}

TEST_F(FrameRegistryTest, KeysAreExactBytes) {
    const std::string path = writeFrame("b.KOR");
    IKor* upper = newIKor(path.c_str());
    ASSERT_NE(upper, nullptr) << "the extension is compared in lower case";
    const std::string doubled = directory.Path() + "//b.KOR";
    IKor* otherSpelling = newIKor(doubled.c_str());
    ASSERT_NE(otherSpelling, nullptr);
    EXPECT_NE(otherSpelling, upper);
    deleteIKor(upper);
    deleteIKor(otherSpelling);
}

TEST_F(FrameRegistryTest, RefusedPaths) {
    CapturedLog log;
    std::filesystem::create_directories(directory.File("dir.kor"));
    const std::string dotInDirectory = directory.Write("dir.kor/frame", "KORA");
    const std::string plain = writeFrame("frame.txt");
    for (const char* path : {static_cast<const char*>(nullptr), "", dotInDirectory.c_str(),
                             plain.c_str(), "/nonexistent.kor", "x.vdb", "x.f3d"}) {
        EXPECT_EQ(newIKor(path), nullptr) << (path ? path : "null");
    }
    EXPECT_EQ(log.Text(), "");
    FluxaFrameData frame;
    EXPECT_EQ(loadFrame(&frame, "frame.VDB", CharString()), LoadPluginNotReady);
    EXPECT_EQ(loadFrame(&frame, "frame.bin", CharString()), LoadNothingToRead);
}

TEST_F(FrameRegistryTest, BrokenFileIsNotRegistered) {
    const std::string path = directory.Write("broken.kor", "KORB0000");
    EXPECT_EQ(newIKor(path.c_str()), nullptr);
}

TEST_F(FrameRegistryTest, ForeignPointersAreIgnored) {
    FluxaFrameData unregistered;
    deleteIKor(&unregistered);
    deleteIKor(nullptr);
    EXPECT_EQ(unregistered.refCount, 0);
}

TEST_F(FrameRegistryTest, LoadSetsThePathOnlyOnSuccess) {
    const std::string path = writeFrame("c.kor");
    FluxaFrameData frame;
    frame.path = "old";
    ASSERT_EQ(loadFrame(&frame, path.c_str(), CharString()), LoadOk);
    EXPECT_STREQ(frame.path.Chars(), path.c_str());
    EXPECT_EQ(loadFrame(&frame, "/nonexistent.kor", CharString()), LoadNothingToRead);
    EXPECT_TRUE(frame.path.IsEmpty());
}

TEST_F(FrameRegistryTest, UnloadDestroysWhatIsLeft) {
    IKor* a = newIKor(writeFrame("d.kor", 11).c_str());
    IKor* b = newIKor(writeFrame("e.kor", 12).c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    newIKor(writeFrame("e.kor", 12).c_str());
    CapturedLog log;
    destroyAllFrames();
    EXPECT_EQ(log.Text(), "Fluxa cache file not released 12 ref:2\n"
                          "Fluxa cache file not released 11 ref:1\n");
}
