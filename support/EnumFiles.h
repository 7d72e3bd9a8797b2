// SPDX-License-Identifier: Apache-2.0
// Visits every file that a path names: the file itself, or each existing frame of a
// sequence pattern.
#pragma once

#include "support/CharString.h"

#include <cstdint>

class FileList;

namespace FluxaEnum {

class EnumFiles {
public:
    // Mode 1, the one the library uses: a file is visited only when its name is exactly
    // what the pattern gives for that file's own frame number ("####" visits 0005, not 5).
    static constexpr int ExactFrameMatch = 1;

    EnumFiles();
    virtual ~EnumFiles() = default;

    // Called once before the search with the walked path and mode.
    virtual void Start(const char* path, int mode);
    // Called for every file visited.
    virtual void VisitFile(const char* path) = 0;

    // False for a null path, for modes other than ExactFrameMatch, and when nothing
    // matches.
    bool walk(const char* path, int mode);

    CharString currentFile;
    int32_t foundFrame;
    int32_t targetFrame;
    int32_t exactMatch;

private:
    void visitMatching(const ::FileList& found, const char* walkedPath);
};

} // namespace FluxaEnum
