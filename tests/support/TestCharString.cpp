// SPDX-License-Identifier: Apache-2.0
#include "support/CharString.h"
#include "tests/common/TempDirectory.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

int32_t headerField(const CharString& s, int offset) {
    int32_t value;
    std::memcpy(&value, s.Chars() + offset, sizeof value);
    return value;
}

void* wideField(const CharString& s) {
    void* value;
    std::memcpy(&value, s.Chars() - 8, sizeof value);
    return value;
}

TEST(CharString, HeaderLayoutIsTheSharedOne) {
    const CharString empty;
    EXPECT_EQ(headerField(empty, -16), 2) << "an empty string owns a 19-byte block";
    EXPECT_EQ(headerField(empty, -12), 0);
    EXPECT_EQ(wideField(empty), nullptr);
    EXPECT_EQ(empty.Chars()[0], '\0');

    const CharString hello("hello");
    // 5 + 17 + 22 / 8 = 24 bytes, capacity 7.
    EXPECT_EQ(headerField(hello, -16), 7);
    EXPECT_EQ(headerField(hello, -12), 5);
    EXPECT_STREQ(hello.Chars(), "hello");
}

TEST(CharString, GrowsWhenTheLengthReachesTheCapacity) {
    CharString s("ab"); // capacity 2 + ... : 2 + 17 + 19/8 = 21 bytes, capacity 4
    EXPECT_EQ(s.Capacity(), 4);
    s += "cd"; // length 4 equals the capacity: grows for 4 characters
    EXPECT_EQ(s.Capacity(), 4 + 17 + 21 / 8 - 17);
    EXPECT_STREQ(s.Chars(), "abcd");
    s += s; // appending itself across a reallocation
    EXPECT_STREQ(s.Chars(), "abcdabcd");
    s = s.Chars() + 4; // assigning its own tail
    EXPECT_STREQ(s.Chars(), "abcd");
}

TEST(CharString, EditingOperations) {
    CharString s;
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.Last(), '\0');
    s.Format("%s-%04d", "Smoke", 12);
    EXPECT_STREQ(s.Chars(), "Smoke-0012");
    s.ToLower();
    EXPECT_STREQ(s.Chars(), "smoke-0012");
    s.RemoveLast();
    EXPECT_EQ(s.Last(), '1');
    s.Truncate(5);
    EXPECT_STREQ(s.Chars(), "smoke");
    s.Truncate(9);
    EXPECT_EQ(s.Length(), 5);
    s.Truncate(-3);
    EXPECT_TRUE(s.IsEmpty());
    s = "a\0b";
    s.Chars()[0] = 'x';
    s.SetLength(-1);
    EXPECT_EQ(s.Length(), 1);
    s += 'y';
    EXPECT_STREQ(s.Chars(), "xy");
}

TEST(CharString, EqualityIsExactAndNullMeansEmpty) {
    const CharString empty;
    const CharString smoke("Smoke");
    EXPECT_TRUE(empty.Equals(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(smoke.Equals(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(smoke.Equals("smoke"));
    EXPECT_TRUE(smoke.Equals(CharString("Smoke")));
    EXPECT_FALSE(smoke.Equals("Smoke2"));
}

TEST(CharString, ReadFromRefusesHostileLengths) {
    kortest::TempDirectory directory;
    struct Case {
        std::string bytes;
        int64_t bytesLeft;
        bool accepted;
        const char* label;
    };
    const Case cases[] = {
        {std::string("\x03\0\0\0abc", 7), 7, true, "exact"},
        {std::string("\x03\0\0\0ab", 6), 6, false, "short read"},
        {std::string("\xff\xff\xff\xff", 4), 4, false, "negative length"},
        {std::string("\x00\x00\x00\x40", 4), 1 << 20, false, "longer than the file"},
        {std::string("\0\0\0\0", 4), 4, true, "empty"},
    };
    for (const Case& c : cases) {
        const std::string path = directory.Write("string.bin", c.bytes);
        FILE* file = std::fopen(path.c_str(), "rb");
        CharString s("keep");
        EXPECT_EQ(s.ReadFrom(file, c.bytesLeft), c.accepted) << c.label;
        if (c.accepted) {
            EXPECT_EQ(std::string(s.Chars(), size_t(s.Length())), c.bytes.substr(4)) << c.label;
        } else {
            EXPECT_STREQ(s.Chars(), "keep") << c.label;
        }
        std::fclose(file);
    }
}

} // namespace
