// SPDX-License-Identifier: Apache-2.0
#include "foreign/ChannelMappings.h"
#include "korloader/KorMappings.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Entry {
    int channel;
    std::string name;
    bool operator==(const Entry& other) const {
        return channel == other.channel && name == other.name;
    }
};
using Entries = std::vector<Entry>;

Entries parsed(const char* mapping) {
    CacheIO::GridMappingList mappings;
    EXPECT_TRUE(parseChannelMappings(mapping, mappings));
    Entries entries;
    for (int32_t i = 0; i < mappings.Count(); ++i) {
        EXPECT_EQ(mappings[i].factor, 1.0f);
        EXPECT_EQ(mappings[i].reserved, 0);
        entries.push_back({mappings[i].channel, mappings[i].name.Chars()});
    }
    return entries;
}

TEST(ChannelMappings, ComposesTheExampleAndReportsCutResults) {
    int channels[] = {2, 1};
    const char* const names[] = {"density", "temperature"};
    char buffer[64];
    EXPECT_EQ(korComposeChannelMappingsString(buffer, 25, channels, names, 2), 1);
    EXPECT_STREQ(buffer, "2,density;1,temperature;");
    EXPECT_EQ(korComposeChannelMappingsString(buffer, 24, channels, names, 2), 0);
    EXPECT_STREQ(buffer, "2,density;1,temperature");
    buffer[0] = 'x';
    EXPECT_EQ(korComposeChannelMappingsString(buffer, 0, channels, names, 2), 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(korComposeChannelMappingsString(buffer, 1, channels, names, 0), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(korComposeChannelMappingsString(buffer, 8, channels, names, -4), 1);
    EXPECT_STREQ(buffer, "");
    int negative[] = {-7, INT_MIN};
    const char* const odd[] = {nullptr, "a,b"};
    EXPECT_EQ(korComposeChannelMappingsString(buffer, 64, negative, odd, 2), 1);
    EXPECT_STREQ(buffer, "-7,;-2147483648,a,b;");
    // Null arrays count as no pairs.
    EXPECT_EQ(korComposeChannelMappingsString(buffer, 64, nullptr, names, 2), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(korComposeChannelMappingsString(nullptr, 64, channels, names, 2), 0);
}

TEST(ChannelMappings, DecomposesEntriesByIndex) {
    const char* const mapping = "2,density;1,temperature;";
    int channel = -1;
    char name[32];
    EXPECT_EQ(korDecomposeChannelMappingsString(&channel, name, 32, mapping, 0), 1);
    EXPECT_EQ(channel, 2);
    EXPECT_STREQ(name, "density");
    EXPECT_EQ(korDecomposeChannelMappingsString(&channel, name, 32, mapping, 1), 1);
    EXPECT_EQ(channel, 1);
    EXPECT_STREQ(name, "temperature");
    channel = 99;
    name[0] = 'x';
    EXPECT_EQ(korDecomposeChannelMappingsString(&channel, name, 32, mapping, 2), -1);
    EXPECT_EQ(korDecomposeChannelMappingsString(&channel, name, 32, mapping, -1), -1);
    EXPECT_EQ(korDecomposeChannelMappingsString(&channel, name, 32, nullptr, 0), -1);
    EXPECT_EQ(channel, 99);
    EXPECT_EQ(name[0], 'x');
    // A name cut to the buffer still reports the channel.
    EXPECT_EQ(korDecomposeChannelMappingsString(&channel, name, 4, mapping, 1), 0);
    EXPECT_EQ(channel, 1);
    EXPECT_STREQ(name, "tem");
}

TEST(ChannelMappings, ParsesOddEntriesAsTheyStand) {
    // clang-format off
    const struct {
        const char* mapping;
        Entries expected;
        const char* label;
    } cases[] = {
        {"", {}, "empty string"},
        {"x,smoke;", {{0, "smoke"}}, "channel text without digits"},
        {",;", {{0, ""}}, "comma and semicolon alone"},
        {"3,a,b,c;", {{3, "a,b,c"}}, "everything after the first comma is the name"},
        {"  -4,n;+5,m;", {{-4, "n"}, {5, "m"}}, "white space and signs as atoi takes them"},
        {"12abc,n;", {{12, "n"}}, "digits stop at the first other character"},
        {"2,d;2,d;", {{2, "d"}, {2, "d"}}, "duplicates stay"},
        {"99,far;", {{99, "far"}}, "slots outside the frame stay"},
        {"1;2,x;", {{1, "x"}}, "the channel text runs to the first comma"},
        {"2,density", {{2, "density"}}, "missing last semicolon: the rest is the name"},
        {"2,density;7", {{2, "density"}}, "trailing text without a comma is dropped"},
        {"7", {}, "one entry without a comma"},
        {"5,", {{5, ""}}, "comma at the very end"},
        {"99999999999999999999,big;", {{INT_MAX, "big"}}, "huge channels saturate"},
        {"-99999999999999999999,small;", {{INT_MIN, "small"}}, "huge negative channels saturate"},
        {"-2147483648,min;", {{INT_MIN, "min"}}, "the smallest int is exact"},
        {";;;", {}, "semicolons only"},
    };
    // clang-format on
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        EXPECT_EQ(parsed(test.mapping), test.expected);
    }
    EXPECT_EQ(parsed(nullptr), Entries{});
}

TEST(ChannelMappings, ComposedListsParseBackToTheSameEntries) {
    CacheIO::GridMappingList mappings;
    mappings.Append(CacheIO::GridMapping("density", 2));
    mappings.Append(CacheIO::GridMapping("a,b", -3));
    mappings.Append(CacheIO::GridMapping(nullptr, 31));
    mappings.Append(CacheIO::GridMapping(std::string(5000, 'n').c_str(), 4));
    CharString composed("stale");
    composeChannelMappings(mappings, composed);
    EXPECT_EQ(parsed(composed.Chars()),
              (Entries{{2, "density"}, {-3, "a,b"}, {31, ""}, {4, std::string(5000, 'n')}}));
    CacheIO::GridMappingList none;
    composeChannelMappings(none, composed);
    EXPECT_STREQ(composed.Chars(), "");
}

TEST(ChannelMappings, DefaultMappingIsEmptyWithoutAForeignCache) {
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(korGenerateDefaultChannelMappings(buffer, 8, nullptr), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(korGenerateDefaultChannelMappings(buffer, 1, ""), 1);
    EXPECT_EQ(korGenerateDefaultChannelMappings(buffer, 8, "/no/such/file.kor"), 1);
    EXPECT_EQ(korGenerateDefaultChannelMappings(buffer, 8, "/no/such/file.vdb"), 1);
    EXPECT_EQ(korGenerateDefaultChannelMappings(buffer, 0, "/no/such/file.vdb"), 0);
}

} // namespace
