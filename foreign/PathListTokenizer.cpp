// SPDX-License-Identifier: Apache-2.0
#include "foreign/PathListTokenizer.h"

#include <cstring>

const char* PathListTokenizer::first(const char* text) {
    list = text;
    position = 0;
    length = 0;
    lastEntryCut = false;
    if (list == nullptr) {
        return nullptr;
    }
    while (length < MaxListCharacters && list[length] != '\0') {
        ++length;
    }
    // The limit may fall inside an entry, or just before the separator that ends it.
    lastEntryCut = length == MaxListCharacters && list[length] != '\0' && list[length] != ';';
    return next();
}

const char* PathListTokenizer::next() {
    while (list != nullptr && position < length) {
        const int32_t start = position;
        while (position < length && list[position] != ';') {
            ++position;
        }
        const int32_t end = position;
        const bool closed = position < length;
        if (closed) {
            ++position;
        }
        if (end == start) {
            continue;
        }
        // An entry the length limit cut through names some other directory.
        if (!closed && lastEntryCut) {
            return nullptr;
        }
        const int32_t kept = end - start < EntryCharacters ? end - start : EntryCharacters;
        std::memcpy(entry, list + start, static_cast<size_t>(kept));
        entry[kept] = '\0';
        return entry;
    }
    return nullptr;
}
