// SPDX-License-Identifier: Apache-2.0
// Reads a "kor" cache file into a fresh frame. The grid channel records stay compressed
// in the frame; channels are decoded on request.
#pragma once

#include "frame/FluxaFrameData.h"

#include <cstdio>

// Fills frame from the file at path (UTF-8). Returns LoadOk, LoadNothingToRead or
// LoadBrokenFile. With headerOnly the record table and the particle data are skipped and
// the frame gets a one-word record table instead. A failed read leaves what was read; the
// caller destroys the frame.
int readKorFile(FluxaFrameData* frame, const char* path, bool headerOnly);

// The same on an open stream (which stays open); path only names the file in messages.
int readKorStream(FluxaFrameData* frame, FILE* file, const char* path, bool headerOnly);
