// SPDX-License-Identifier: Apache-2.0
#include "cachefile/KorFileIO.h"

#include "cachefile/IOErrException.h"
#include "platform/Platform.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"

#include <cassert>

namespace {

[[noreturn]] void fail(const char* message) {
    if (message != nullptr) {
        logMessage("%s", message);
    }
    throw IOErrException();
}

} // namespace

void seekOrFail(FILE* file, int64_t offset, int origin, const char* message) {
    if (!Platform::seekFile(file, offset, origin)) {
        fail(message);
    }
}

void readOrFail(void* buffer, uint64_t elementBytes, uint64_t count, FILE* file,
                const char* message) {
    if (elementBytes == 0 || count == 0) {
        return;
    }
    if (std::fread(buffer, static_cast<size_t>(elementBytes), static_cast<size_t>(count), file) !=
        count) {
        fail(message);
    }
}

void readString(CharString& string, FILE* file, int64_t fileBytes) {
    if (!string.ReadFrom(file, bytesLeft(file, fileBytes))) {
        fail(nullptr);
    }
}

int64_t bytesLeft(FILE* file, int64_t fileBytes) {
    const int64_t position = Platform::tellFile(file);
    return position < 0 || position > fileBytes ? 0 : fileBytes - position;
}

void requireBytesLeft(int64_t count, int64_t elementBytes, FILE* file, int64_t fileBytes,
                      const char* message) {
    if (count < 0 || count > bytesLeft(file, fileBytes) / elementBytes) {
        fail(message);
    }
}

int32_t readInt32OrFail(FILE* file, const char* message) {
    uint8_t bytes[4];
    readOrFail(bytes, 1, sizeof bytes, file, message);
    return static_cast<int32_t>(readLE32(bytes));
}

int64_t readInt64OrFail(FILE* file, const char* message) {
    uint8_t bytes[8];
    readOrFail(bytes, 1, sizeof bytes, file, message);
    return static_cast<int64_t>(readLE64(bytes));
}

void readFloatsOrFail(float* out, int count, FILE* file, const char* message) {
    uint8_t bytes[4 * MaxFloatsPerRead];
    assert(count >= 0 && count <= MaxFloatsPerRead);
    readOrFail(bytes, 4, static_cast<uint64_t>(count), file, message);
    for (int i = 0; i < count; ++i) {
        out[i] = readF32(bytes + 4 * static_cast<size_t>(i));
    }
}
