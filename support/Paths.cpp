// SPDX-License-Identifier: Apache-2.0
#include "support/Paths.h"

#include "platform/Platform.h"

#include <cstring>

namespace {

const char* lastSeparator(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    return slash > backslash ? slash : backslash;
}

} // namespace

CharString getExtension(const char* path) {
    CharString extension;
    if (path == nullptr) {
        return extension;
    }
    if (const char* dot = std::strrchr(path, '.')) {
        extension = dot + 1;
        extension.ToLower();
    }
    return extension;
}

CharString splitPath(const char* path) {
    CharString directory;
    if (path == nullptr) {
        return directory;
    }
    if (const char* separator = lastSeparator(path)) {
        directory = path;
        directory.Truncate(static_cast<int32_t>(separator - path + 1));
    }
    return directory;
}

int copyBounded(char* destination, const char* source, int size) {
    if (size < 1 || destination == nullptr) {
        return 0;
    }
    int written = 0;
    if (source != nullptr) {
        while (written < size - 1 && source[written] != '\0') {
            destination[written] = source[written];
            ++written;
        }
    }
    destination[written] = '\0';
    return written + 1;
}

void createPathDirectories(const char* path) {
    CharString directory = splitPath(path);
    char* chars = directory.Chars();
    for (int32_t i = 1; i < directory.Length(); ++i) {
        if (chars[i] == '/' || chars[i] == '\\') {
            const char separator = chars[i];
            chars[i] = '\0';
            Platform::createDirectory(chars);
            chars[i] = separator;
        }
    }
}
