// SPDX-License-Identifier: Apache-2.0
#include "support/EnumFiles.h"

#include "support/FileList.h"
#include "support/FramePattern.h"
#include "support/Paths.h"

namespace FluxaEnum {

EnumFiles::EnumFiles() : foundFrame(INT32_MIN), targetFrame(INT32_MIN), exactMatch(1) {}

void EnumFiles::Start(const char*, int) {}

bool EnumFiles::walk(const char* path, int mode) {
    if (path == nullptr || mode != ExactFrameMatch) {
        return false;
    }
    Start(path, mode);
    FileList found;
    if (!hasFramePattern(path)) {
        if (!found.Find(path)) {
            return false;
        }
        currentFile = path;
        VisitFile(path);
        return true;
    }
    const CharString wildcard = expandFramePattern(path, noFrame, "*");
    currentFile.Clear();
    if (!found.Find(wildcard.Chars())) {
        return false;
    }
    visitMatching(found, path);
    if (currentFile.IsEmpty() && getExtension(path).Equals("kor")) {
        // Cache files of this library were also written with unpadded numbers.
        const CharString unpadded = expandFramePattern(path, noFrame, "#");
        visitMatching(found, unpadded.Chars());
    }
    return true;
}

void EnumFiles::visitMatching(const FileList& found, const char* walkedPath) {
    for (int32_t i = 0; i < found.Count(); ++i) {
        const char* candidate = found.Path(i);
        const CharString expected =
            expandFramePattern(walkedPath, frameNumberFromFileName(candidate), "");
        if (expected.Equals(candidate)) {
            VisitFile(candidate);
        }
    }
}

} // namespace FluxaEnum
