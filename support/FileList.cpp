// SPDX-License-Identifier: Apache-2.0
#include "support/FileList.h"

#include "platform/Platform.h"
#include "support/Paths.h"

#include <cstdlib>
#include <cstring>

FileList::~FileList() {
    Clear();
}

void FileList::Clear() {
    for (int32_t i = 0; i < paths.Count(); ++i) {
        std::free(paths[i]);
    }
    paths.SetSize(0);
}

bool FileList::Find(const char* pattern) {
    Clear();
    Platform::DirectorySearch search;
    if (pattern == nullptr || !search.First(pattern)) {
        return false;
    }
    const CharString prefix = splitPath(pattern);
    do {
        const char* name = search.Name();
        if (std::strncmp(name, "..", 2) == 0 || std::strcmp(name, ".") == 0) {
            continue;
        }
        const size_t nameBytes = std::strlen(name);
        const size_t prefixBytes = size_t(prefix.Length());
        auto* path = static_cast<char*>(std::malloc(prefixBytes + nameBytes + 1));
        if (path == nullptr) {
            continue;
        }
        std::memcpy(path, prefix.Chars(), prefixBytes);
        std::memcpy(path + prefixBytes, name, nameBytes + 1);
        if (!paths.Append(path)) {
            std::free(path);
        }
    } while (search.Next());
    return true;
}

const char* FileList::Path(int32_t index) const {
    return index >= 0 && index < paths.Count() ? paths[index] : nullptr;
}
