// SPDX-License-Identifier: Apache-2.0
// The entries of one directory that match a wildcard pattern, as full paths, in the order
// the platform delivers them.
#pragma once

#include "support/CharString.h"
#include "support/iArray.h"

#include <cstdint>

class FileList {
public:
    FileList() = default;
    ~FileList();
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    // Replaces the list with the entries matching pattern ('*' and '?' in its last
    // component). "." and ".." and names starting with ".." are skipped; directories are
    // kept. False, with an empty list, when the search finds nothing.
    bool Find(const char* pattern);

    int32_t Count() const { return paths.Count(); }
    // Null for an index outside the list.
    const char* Path(int32_t index) const;

private:
    void Clear();

    iArray<char*> paths;
};
