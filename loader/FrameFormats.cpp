// SPDX-License-Identifier: Apache-2.0
// The format dispatch. The extension is lower-cased A to Z before it is compared, so
// "FRAME.KOR" is a cache file like "frame.kor".
#include "loader/FrameFormats.h"

#include "cachefile/KorReader.h"
#include "cachefile/KorWriter.h"
#include "foreign/ForeignImport.h"
#include "frame/LoadResult.h"
#include "support/FramePattern.h"
#include "support/Messages.h"
#include "support/Paths.h"

FrameFormat frameFormatOf(const char* path) {
    const CharString extension = getExtension(path);
    if (extension.Equals("kor")) {
        return FrameFormat::Kor;
    }
    if (extension.Equals("f3d")) {
        return FrameFormat::F3d;
    }
    if (extension.Equals("vdb")) {
        return FrameFormat::Vdb;
    }
    return FrameFormat::Unknown;
}

namespace {

constexpr int SaveAttempts = 6;

int readFrameFile(FluxaFrameData* frame, const char* path, const char* mapping, bool headerOnly) {
    switch (frameFormatOf(path)) {
    case FrameFormat::Kor:
        return readKorFile(frame, path, headerOnly);
    case FrameFormat::F3d:
        return importF3dFrame(path, frame, mapping, headerOnly);
    case FrameFormat::Vdb:
        return importVdbFrame(path, frame, mapping, headerOnly);
    case FrameFormat::Unknown:
        break;
    }
    return LoadNothingToRead;
}

} // namespace

int loadFrame(FluxaFrameData* frame, const char* path, const CharString& mapping) {
    frame->releaseChannels();
    frame->clearContents();
    const int result = readFrameFile(frame, path, mapping.Chars(), false);
    if (result == LoadOk) {
        frame->path = path;
    } else {
        frame->path.Clear();
    }
    return result;
}

int loadFrameFileHeaderOnly(const char* path, FluxaFrameData* frame, const char* mapping) {
    if (frame == nullptr) {
        return 1;
    }
    return readFrameFile(frame, path, mapping, true);
}

int saveFrame(FluxaFrameData* frame, const char* pathPattern, uint32_t saveMask) {
    const CharString path = expandFramePattern(pathPattern, frame->frameNumber, "");
    logMessage("Save Frame %d\n", frame->frameNumber);
    int result = WriteFailed;
    if (frameFormatOf(path.Chars()) == FrameFormat::Vdb) {
        createPathDirectories(path.Chars());
        result = exportVdbFrame(path.Chars(), frame);
    } else {
        for (int attempt = 0; attempt < SaveAttempts; ++attempt) {
            logMessage("Save Frame Try %d\n", attempt);
            result = writeKorFile(frame, path.Chars(), saveMask);
            if (result == WriteOk) {
                break;
            }
        }
    }
    logMessage("Save Frame Result %d\n", result);
    return result;
}
