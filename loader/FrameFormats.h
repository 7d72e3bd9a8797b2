// SPDX-License-Identifier: Apache-2.0
// Which code reads or writes a frame file, decided in one place from the path's
// extension: the "kor" reader and writer of cachefile/, or a plug-in through foreign/.
// Those two layers never see each other; only this one sees both.
#pragma once

#include "frame/FluxaFrameData.h"
#include "support/CharString.h"

#include <cstdint>

enum class FrameFormat { Unknown, Kor, F3d, Vdb };

// The format of a path by its extension, lower-cased A to Z: the one place that decides
// which code reads or writes a file.
FrameFormat frameFormatOf(const char* path);

// Empties the frame and fills it from path with the reader its extension chooses. Returns
// a LoadResult code, or an import's own code. frame->path is the path after a load and
// empty after a failure.
int loadFrame(FluxaFrameData* frame, const char* path, const CharString& mapping);

// Reads only the header values of any frame file: 1 for a null frame, 3 for an unknown
// extension, else the reader's or the import's result.
int loadFrameFileHeaderOnly(const char* path, FluxaFrameData* frame, const char* mapping);

// Writes the frame to the path that the pattern gives for its frame number: "vdb" targets
// through the OpenVDB plug-in, anything else as a "kor" file, with up to six attempts.
// Returns the last attempt's result.
int saveFrame(FluxaFrameData* frame, const char* pathPattern, uint32_t saveMask);
