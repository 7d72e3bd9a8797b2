// SPDX-License-Identifier: Apache-2.0
#include "support/EnumFiles.h"
#include "support/FileList.h"
#include "support/Paths.h"
#include "tests/common/TempDirectory.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(Paths, ExtensionIsLowerCasedTextAfterTheLastDot) {
    EXPECT_STREQ(getExtension("cache/SMOKE.0001.VDB").Chars(), "vdb");
    EXPECT_STREQ(getExtension("cache.v2/smoke").Chars(), "v2/smoke");
    EXPECT_STREQ(getExtension("smoke").Chars(), "");
    EXPECT_STREQ(getExtension("smoke.").Chars(), "");
    EXPECT_STREQ(getExtension(nullptr).Chars(), "");
}

TEST(Paths, DirectoryPartKeepsTheLastSeparator) {
    EXPECT_STREQ(splitPath("a/b\\c.kor").Chars(), "a/b\\");
    EXPECT_STREQ(splitPath("a\\b/c.kor").Chars(), "a\\b/");
    EXPECT_STREQ(splitPath("c.kor").Chars(), "");
}

TEST(Paths, CopyBoundedAlwaysTerminates) {
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(copyBounded(buffer, "abc", 8), 4);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(copyBounded(buffer, "abcdefghij", 8), 8);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(copyBounded(buffer, "abc", 1), 1);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'z';
    EXPECT_EQ(copyBounded(buffer, "abc", 0), 0);
    EXPECT_EQ(buffer[0], 'z');
    EXPECT_EQ(copyBounded(buffer, nullptr, 8), 1);
}

class Collector : public FluxaEnum::EnumFiles {
public:
    void VisitFile(const char* path) override { visited.emplace_back(path); }
    std::vector<std::string> Sorted() const {
        std::vector<std::string> sorted = visited;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
    std::vector<std::string> visited;
};

TEST(Paths, FileListFindsMatchesAndSkipsDotNames) {
    kortest::TempDirectory directory;
    for (const char* name : {"a.0001.vdb", "a.0002.vdb", "a.0002.f3d", "..hidden.vdb", "b1.vdb"}) {
        directory.Write(name, "x");
    }
    FileList list;
    ASSERT_TRUE(list.Find((directory.Path() + "/a.*.vdb").c_str()));
    std::vector<std::string> found;
    for (int32_t i = 0; i < list.Count(); ++i) {
        found.emplace_back(list.Path(i));
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{directory.File("a.0001.vdb"),
                                               directory.File("a.0002.vdb")}));
    EXPECT_EQ(list.Path(2), nullptr);
    EXPECT_EQ(list.Path(-1), nullptr);
    ASSERT_TRUE(list.Find((directory.Path() + "/?1.vdb").c_str()));
    EXPECT_EQ(list.Count(), 1);
    ASSERT_TRUE(list.Find((directory.Path() + "/*").c_str()));
    EXPECT_EQ(list.Count(), 4) << "'..hidden.vdb' is skipped";
    EXPECT_FALSE(list.Find((directory.Path() + "/nothing*").c_str()));
    EXPECT_EQ(list.Count(), 0);
}

TEST(Paths, WalkVisitsOnlyFramesThatMatchThePatternExactly) {
    kortest::TempDirectory directory;
    for (const char* name : {"s.0005.vdb", "s.5.vdb", "s.0006.vdb", "s.00007.vdb", "t.0005.vdb"}) {
        directory.Write(name, "x");
    }
    Collector collector;
    ASSERT_TRUE(collector.walk((directory.Path() + "/s.####.vdb").c_str(), 1));
    EXPECT_EQ(collector.Sorted(), (std::vector<std::string>{directory.File("s.0005.vdb"),
                                                            directory.File("s.0006.vdb")}));
    Collector unpadded;
    ASSERT_TRUE(unpadded.walk((directory.Path() + "/s.%d.vdb").c_str(), 1));
    EXPECT_EQ(unpadded.Sorted(), (std::vector<std::string>{directory.File("s.5.vdb")}));
}

TEST(Paths, WalkOfAPlainPathVisitsItOnce) {
    kortest::TempDirectory directory;
    const std::string file = directory.Write("plain.f3d", "x");
    Collector collector;
    ASSERT_TRUE(collector.walk(file.c_str(), 1));
    EXPECT_EQ(collector.visited, std::vector<std::string>{file});
    EXPECT_STREQ(collector.currentFile.Chars(), file.c_str());
    Collector missing;
    EXPECT_FALSE(missing.walk(directory.File("absent.f3d").c_str(), 1));
    EXPECT_FALSE(missing.walk(nullptr, 1));
    EXPECT_FALSE(missing.walk(file.c_str(), 0)) << "only the exact-frame mode exists";
    EXPECT_TRUE(missing.visited.empty());
}

TEST(Paths, KorSequencesFallBackToUnpaddedNumbers) {
    kortest::TempDirectory directory;
    directory.Write("k.5.kor", "x");
    Collector collector;
    ASSERT_TRUE(collector.walk((directory.Path() + "/k.####.kor").c_str(), 1));
    EXPECT_EQ(collector.visited, std::vector<std::string>{directory.File("k.5.kor")});
    Collector vdb;
    directory.Write("v.5.vdb", "x");
    ASSERT_TRUE(vdb.walk((directory.Path() + "/v.####.vdb").c_str(), 1));
    EXPECT_TRUE(vdb.visited.empty()) << "only kor sequences take the fallback";
}

} // namespace
