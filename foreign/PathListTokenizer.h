// SPDX-License-Identifier: Apache-2.0
// Walks a ";"-separated directory list without allocating. Entries are returned exactly
// as written: no trimming, no quoting.
#pragma once

#include <cstdint>

// Fields:
//   list          the list text, not owned; read up to `length` and one character more
//   entry         the entry last returned, cut to EntryCharacters and terminated
//   position      index of the next unread character of the list
//   length        characters of the list considered, at most MaxListCharacters
//   lastEntryCut  the length limit falls inside the list's last counted entry
class PathListTokenizer {
public:
    static constexpr int32_t EntryCharacters = 1023;
    static constexpr int32_t MaxListCharacters = 51200;

    // The first non-empty entry of list, or null for a null or empty list. The pointer
    // designates the tokenizer's own buffer, which the next call overwrites.
    const char* first(const char* list);
    // The following non-empty entry, or null once the list is exhausted.
    const char* next();

private:
    const char* list = nullptr;
    char entry[EntryCharacters + 2] = {};
    int32_t position = 0;
    int32_t length = 0;
    bool lastEntryCut = false;
};
