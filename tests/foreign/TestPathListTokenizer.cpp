// SPDX-License-Identifier: Apache-2.0
#include "foreign/FormatBounded.h"
#include "foreign/PathListTokenizer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> entriesOf(const char* list) {
    PathListTokenizer tokenizer;
    std::vector<std::string> entries;
    for (const char* entry = tokenizer.first(list); entry != nullptr; entry = tokenizer.next()) {
        entries.emplace_back(entry);
    }
    return entries;
}

using Entries = std::vector<std::string>;

TEST(PathListTokenizer, SplitsAtSemicolonsAndSkipsEmptyEntries) {
    EXPECT_EQ(entriesOf(nullptr), Entries{});
    EXPECT_EQ(entriesOf(""), Entries{});
    EXPECT_EQ(entriesOf(";;;"), Entries{});
    EXPECT_EQ(entriesOf("a"), Entries{"a"});
    EXPECT_EQ(entriesOf("/x;;/y/"), (Entries{"/x", "/y/"}));
    EXPECT_EQ(entriesOf(";a;b;"), (Entries{"a", "b"}));
    EXPECT_EQ(entriesOf("a;b;c"), (Entries{"a", "b", "c"}));
    // Entries stand as written: no trimming, no quoting.
    EXPECT_EQ(entriesOf(" a ;\"b\""), (Entries{" a ", "\"b\""}));
}

TEST(PathListTokenizer, CutsLongEntriesTo1023Characters) {
    const std::string longEntry(1500, 'd');
    const Entries entries = entriesOf((longEntry + ";e").c_str());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], longEntry.substr(0, 1023));
    EXPECT_EQ(entries[1], "e");
}

TEST(PathListTokenizer, IgnoresWhatLiesBeyond51200Characters) {
    std::string list(51198, ';');
    list += "ab;cd"; // "ab" ends at 51200 exactly, "cd" lies beyond
    EXPECT_EQ(entriesOf(list.c_str()), Entries{"ab"});
    // An entry the limit cuts through would name another directory: it is dropped.
    std::string cut(51190, ';');
    cut += "/opt/plugins/x64";
    EXPECT_EQ(entriesOf(cut.c_str()), Entries{});
    std::string exact(51196, ';');
    exact += "/opt";
    EXPECT_EQ(entriesOf(exact.c_str()), Entries{"/opt"});
}

TEST(FormatBounded, ReportsCutTextsAndAlwaysTerminates) {
    char buffer[8];
    EXPECT_EQ(formatBounded(buffer, 8, "%s", "abc"), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(formatBounded(buffer, 8, "%s", "1234567"), 7);
    // Exactly the buffer size leaves no room for the terminator: cut.
    EXPECT_EQ(formatBounded(buffer, 8, "%s", "12345678"), -1);
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(formatBounded(buffer, 3, "%d", 12345), -1);
    EXPECT_STREQ(buffer, "12");
    buffer[0] = 'x';
    EXPECT_EQ(formatBounded(buffer, 0, "%s", "abc"), 0);
    EXPECT_EQ(buffer[0], 'x');
}

} // namespace
