// SPDX-License-Identifier: Apache-2.0
#include "support/Utf8.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint16_t> toUtf16(const std::string& bytes) {
    const int64_t units = utf8ToUtf16(bytes.c_str(), nullptr, 0);
    std::vector<uint16_t> out(size_t(units) + 1, 0xFFFF);
    EXPECT_EQ(utf8ToUtf16(bytes.c_str(), out.data(), int64_t(out.size())), units)
        << "counting agrees with converting";
    EXPECT_EQ(out.back(), 0);
    out.pop_back();
    return out;
}

std::string toUtf8(const std::vector<uint16_t>& units) {
    std::vector<uint16_t> terminated = units;
    terminated.push_back(0);
    const int64_t bytes = utf16ToUtf8(terminated.data(), nullptr, 0);
    std::string out(size_t(bytes) + 1, '\x7f');
    EXPECT_EQ(utf16ToUtf8(terminated.data(), &out[0], int64_t(out.size())), bytes);
    EXPECT_EQ(out.back(), '\0');
    out.pop_back();
    return out;
}

using Units = std::vector<uint16_t>;

TEST(Utf8, ValidAndInvalidSequences) {
    struct Case {
        std::string bytes;
        Units units;
        const char* label;
    };
    const Case cases[] = {
        {"\xC3\xA9", {0x00E9}, "two-byte form"},
        {"\xC0\xA9", {0xDBC0, 0xDCC0, 0xDBC0, 0xDCA9}, "overlong form escapes each byte"},
        {"\x80", {0xDBC0, 0xDC80}, "stray continuation byte"},
        {"\xE2\x28", {0xDBC0, 0xDCE2, 0x0028}, "broken sequence leaves the next byte alone"},
        {"\xF4\x80\x80\x80",
         {0xDBC0, 0xDCF4, 0xDBC0, 0xDC80, 0xDBC0, 0xDC80, 0xDBC0, 0xDC80},
         "code point in the escape range"},
        {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, "surrogate pair"},
        {"\xF4\x90\x80\x80",
         {0xDBC0, 0xDCF4, 0xDBC0, 0xDC90, 0xDBC0, 0xDC80, 0xDBC0, 0xDC80},
         "beyond U+10FFFF"},
        {"\xED\xA0\x80", {0xD800}, "lone surrogate passes as one unit"},
        {"\xED\xA0\x80\xED\xB0\x80",
         {0xD800, 0xDBC0, 0xDCED, 0xDBC0, 0xDCB0, 0xDBC0, 0xDC80},
         "a low surrogate after a lone high one is escaped"},
        {"\xFF", {0xDBC0, 0xDCFF}, "eight leading ones"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toUtf16(c.bytes), c.units) << c.label;
        EXPECT_EQ(toUtf8(c.units), c.bytes) << c.label << " comes back unchanged";
    }
}

TEST(Utf8, Utf16ToUtf8EncodesLoneAndPairedSurrogates) {
    EXPECT_EQ(toUtf8({0xDC00, 0xDC00}), "\xED\xB0\x80\xED\xB0\x80") << "two low units stay apart";
    EXPECT_EQ(toUtf8({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8({0x20AC}), "\xE2\x82\xAC");
}

TEST(Utf8, EveryByteStringSurvivesTheRoundTrip) {
    std::mt19937 random(20261208);
    // Bytes biased towards sequence leads and continuations to hit every branch.
    const uint8_t interesting[] = {0x41, 0x7F, 0x80, 0xBF, 0xC0, 0xC3, 0xDF, 0xE0, 0xED,
                                   0xEF, 0xF0, 0xF4, 0xF8, 0xFC, 0xFE, 0xFF, 0xA0, 0x90};
    for (int trial = 0; trial < 20000; ++trial) {
        std::string bytes(random() % 12, ' ');
        for (char& b : bytes) {
            const uint32_t pick = static_cast<uint32_t>(random());
            b = static_cast<char>(pick & 1 ? interesting[(pick >> 1) % sizeof interesting]
                                           : 1 + (pick >> 1) % 255);
        }
        ASSERT_EQ(toUtf8(toUtf16(bytes)), bytes) << "trial " << trial;
    }
}

TEST(Utf8, ShortDestinationsCutAtCodePointBoundaries) {
    uint16_t units[4] = {9, 9, 9, 9};
    // "a" then a pair: the pair would leave no room for the terminator.
    EXPECT_EQ(utf8ToUtf16("a\xF0\x9F\x98\x80", units, 3), 1);
    EXPECT_EQ(units[0], 'a');
    EXPECT_EQ(units[1], 0);
    // Single units still fill the last places, with no room left for the terminator.
    EXPECT_EQ(utf8ToUtf16("abcdef", units, 4), 4);
    EXPECT_EQ(units[3], 'd');

    const uint16_t euro[] = {'x', 0x20AC, 0};
    char bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(utf16ToUtf8(euro, bytes, 3), 1);
    EXPECT_EQ(bytes[1], '\0');
    EXPECT_EQ(utf16ToUtf8(euro, bytes, 4), 4) << "fits exactly, with no room for the terminator";
    EXPECT_EQ(std::string(bytes, 4), "x\xE2\x82\xAC");
}

} // namespace
