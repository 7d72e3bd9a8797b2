// SPDX-License-Identifier: Apache-2.0
// Checked file access for the cache reader: a failure logs the caller's message (none for
// null) and raises IOErrException. Every count that decides an allocation or a loop is
// checked against the bytes left in the file first, and fails like a short read.
#pragma once

#include "support/CharString.h"

#include <cstdint>
#include <cstdio>

// A 64-bit seek.
void seekOrFail(FILE* file, int64_t offset, int origin, const char* message);

// Reads count elements of elementBytes each. Zero elements or zero-sized ones succeed at
// once.
void readOrFail(void* buffer, uint64_t elementBytes, uint64_t count, FILE* file,
                const char* message);

// An int32 byte count and that many bytes. A negative count, or one beyond fileBytes
// minus the current position, raises without a message.
void readString(CharString& string, FILE* file, int64_t fileBytes);

// Bytes between the current position and fileBytes (0 when the position is unknown).
int64_t bytesLeft(FILE* file, int64_t fileBytes);

// Raises, after logging message, unless count elements of elementBytes each fit into the
// rest of the file.
void requireBytesLeft(int64_t count, int64_t elementBytes, FILE* file, int64_t fileBytes,
                      const char* message);

// Little-endian values through readOrFail.
int32_t readInt32OrFail(FILE* file, const char* message);
int64_t readInt64OrFail(FILE* file, const char* message);
constexpr int MaxFloatsPerRead = 12;
void readFloatsOrFail(float* out, int count, FILE* file, const char* message);
