// SPDX-License-Identifier: Apache-2.0
// Writes a frame as a version 4 "kor" file that readKorFile reads back into an equal
// frame. Grid records and particle channels are written as the frame holds them,
// compressed; nothing is encoded here.
#pragma once

#include "frame/FluxaFrameData.h"

#include <cstdint>
#include <cstdio>

constexpr int WriteOk = 0;
constexpr int WriteFailed = 10;

// Writes frame to path (UTF-8), creating missing directories. saveMask is stored as the
// channel mask. Returns WriteOk or WriteFailed; a partly written file stays.
int writeKorFile(FluxaFrameData* frame, const char* path, uint32_t saveMask);

// Writes byteCount bytes in pieces of at most 1 MiB; raises IOErrException after logging
// a piece that is not written whole.
void writeOrFail(const void* buffer, uint64_t byteCount, FILE* file);

// Opens a chunk: its id and a 64-bit size place-holder, whose position is returned.
int64_t beginChunk(int32_t id, FILE* file);
// Closes the chunk opened with the place-holder at sizeAt: patches the body's size and
// returns to the end of the file.
void endChunk(int64_t sizeAt, FILE* file);
