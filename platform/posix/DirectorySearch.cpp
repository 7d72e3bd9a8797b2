// SPDX-License-Identifier: Apache-2.0
// FindFirstFile-style search over one directory. Names are raw bytes, matched byte for
// byte (case-sensitive, as the file system is).
#include "platform/Platform.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>

namespace Platform {
namespace {

// '*' matches any run, '?' any single byte. Iterative with one backtrack point, so a
// pattern of many stars cannot blow up.
bool matchesWildcard(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (starPattern != nullptr) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

} // namespace

struct DirectorySearch::State {
    DIR* directory;
    char* namePattern;
    const char* currentName;

    bool Advance() {
        while (const dirent* entry = readdir(directory)) {
            if (matchesWildcard(namePattern, entry->d_name)) {
                currentName = entry->d_name;
                return true;
            }
        }
        currentName = nullptr;
        return false;
    }
};

void DirectorySearch::Close() {
    if (state == nullptr) {
        return;
    }
    if (state->directory != nullptr) {
        closedir(state->directory);
    }
    std::free(state->namePattern);
    std::free(state);
    state = nullptr;
}

bool DirectorySearch::First(const char* utf8Pattern) {
    Close();
    if (utf8Pattern == nullptr || *utf8Pattern == '\0') {
        return false;
    }
    const char* slash = std::strrchr(utf8Pattern, '/');
    const char* backslash = std::strrchr(utf8Pattern, '\\');
    const char* separator = slash > backslash ? slash : backslash;
    const char* name = separator != nullptr ? separator + 1 : utf8Pattern;
    if (*name == '\0') {
        return false;
    }
    const size_t directoryBytes = separator != nullptr ? size_t(separator - utf8Pattern) + 1 : 0;
    char* directoryPath = static_cast<char*>(std::malloc(directoryBytes + 2));
    state = static_cast<State*>(std::calloc(1, sizeof(State)));
    if (directoryPath == nullptr || state == nullptr ||
        (state->namePattern = strdup(name)) == nullptr) {
        std::free(directoryPath);
        Close();
        return false;
    }
    if (directoryBytes == 0) {
        std::strcpy(directoryPath, ".");
    } else {
        std::memcpy(directoryPath, utf8Pattern, directoryBytes);
        directoryPath[directoryBytes] = '\0';
    }
    state->directory = opendir(directoryPath);
    std::free(directoryPath);
    return state->directory != nullptr && state->Advance();
}

bool DirectorySearch::Next() {
    return state != nullptr && state->directory != nullptr && state->Advance();
}

const char* DirectorySearch::Name() const {
    return state != nullptr ? state->currentName : nullptr;
}

} // namespace Platform
