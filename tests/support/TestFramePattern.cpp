// SPDX-License-Identifier: Apache-2.0
#include "support/FramePattern.h"

#include <gtest/gtest.h>

namespace {

std::string expand(const char* path, int32_t frame, const char* replacement = "") {
    return expandFramePattern(path, frame, replacement).Chars();
}

TEST(FramePattern, ExpandsEachFormWithItsWidthAndPadding) {
    struct Case {
        const char* path;
        int32_t frame;
        const char* expected;
    };
    const Case cases[] = {
        {"smoke.####.kor", 5, "smoke.0005.kor"},
        {"smoke.%03d.kor", 5, "smoke.005.kor"},
        {"smoke.%d.kor", 5, "smoke.5.kor"},
        {"smoke.%3d.kor", 5, "smoke.  5.kor"},
        {"smoke.<frame04>.kor", 5, "smoke.0005.kor"},
        {"smoke.<frame>.kor", 5, "smoke.5.kor"},
        {"smoke.####.kor", -5, "smoke.-005.kor"},
        {"smoke.%05u.kor", -1, "smoke.4294967295.kor"},
        {"smoke.%%d.kor", 5, "smoke.%%d.kor"},
        {"smoke.%x.kor", 5, "smoke.%x.kor"},
        {"smoke.%020d.kor", 5, "smoke.000000000005.kor"},
        {"smoke.####################.kor", 5, "smoke.000000000005.kor"},
        {"dir_####/smoke.#.kor", 7, "dir_####/smoke.7.kor"},
        {"a<b#.kor", 3, "a<b3.kor"},
        {"a<#.kor", 3, "a<#.kor"}, // the character after a stray '<' is skipped
        {"a.kor<", 3, "a.kor<"},
        {"smoke.<frame04.kor", 5, "smoke.<frame04.kor"},
        {"s.%I-%U.kor", 2, "s.2-2.kor"},
        {"smoke.####.kor", INT32_MIN, "smoke..kor"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(expand(c.path, c.frame), c.expected) << c.path;
    }
}

TEST(FramePattern, NoFrameTurnsEveryPatternIntoTheReplacement) {
    EXPECT_EQ(expand("a/b.####.%04d.<frame9>.vdb", noFrame, "*"), "a/b.*.*.*.vdb");
    EXPECT_EQ(expand("b.####.vdb", noFrame, "0123456789abcdefXYZ"), "b.0123456789abcde.vdb");
}

TEST(FramePattern, DetectsPatternsAnywhereInThePath) {
    EXPECT_TRUE(hasFramePattern("dir_####/smoke.kor"));
    EXPECT_TRUE(hasFramePattern("smoke.<frame>.kor"));
    EXPECT_TRUE(hasFramePattern("smoke.%u.kor"));
    EXPECT_FALSE(hasFramePattern("smoke.%%d.kor"));
    EXPECT_FALSE(hasFramePattern("smoke.<#.kor"));
    EXPECT_FALSE(hasFramePattern("smoke.0001.kor<"));
    EXPECT_FALSE(hasFramePattern(""));
    EXPECT_FALSE(hasFramePattern(nullptr));
}

TEST(FramePattern, FormatsLikePrintf) {
    char text[16];
    formatFrameNumber(text, -5, false, 4, true);
    EXPECT_STREQ(text, "-005");
    formatFrameNumber(text, -5, false, 4, false);
    EXPECT_STREQ(text, "  -5");
    formatFrameNumber(text, 123456, false, 3, true);
    EXPECT_STREQ(text, "123456");
    formatFrameNumber(text, INT32_MIN, false, 4, true);
    EXPECT_STREQ(text, "");
    formatFrameNumber(text, -2147483647, false, 12, true);
    EXPECT_STREQ(text, "-02147483647");
}

TEST(FramePattern, FrameNumberIsTheLastDigitRunBeforeTheExtension) {
    EXPECT_EQ(frameNumberFromFileName("cache/smoke.0012.kor"), 12);
    EXPECT_EQ(frameNumberFromFileName("cache/smoke-005.vdb"), -5);
    EXPECT_EQ(frameNumberFromFileName("cache/smoke_12_v.vdb"), 12);
    EXPECT_EQ(frameNumberFromFileName("cache/smoke"), noFrame);
    EXPECT_EQ(frameNumberFromFileName("cache.7/smoke"), noFrame);
    EXPECT_EQ(frameNumberFromFileName("cache7/smoke.vdb"), noFrame);
    EXPECT_EQ(frameNumberFromFileName("c:\\7\\smoke.vdb"), noFrame);
    EXPECT_EQ(frameNumberFromFileName("smoke.vdb"), noFrame);
    EXPECT_EQ(frameNumberFromFileName("s-2147483648.vdb"), INT32_MIN);
    EXPECT_EQ(frameNumberFromFileName("s99999999999.vdb"), noFrame) << "too large for an int";
}

} // namespace
