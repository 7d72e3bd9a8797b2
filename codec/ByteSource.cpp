// SPDX-License-Identifier: Apache-2.0
#include "codec/ByteSource.h"

#include <cstring>

ByteSource ByteSource::FromMemory(const uint8_t* bytes, uint64_t byteCount) {
    ByteSource source;
    source.next = bytes;
    source.end = bytes != nullptr ? bytes + byteCount : nullptr;
    return source;
}

ByteSource ByteSource::FromFile(FILE* file, uint64_t byteCount) {
    ByteSource source;
    source.file = file;
    source.fileRemaining = file != nullptr ? byteCount : 0;
    return source;
}

uint64_t ByteSource::Remaining() const {
    return file != nullptr ? fileRemaining : static_cast<uint64_t>(end - next);
}

bool ByteSource::Read(void* out, uint64_t byteCount) {
    if (Remaining() < byteCount) {
        Skip(Remaining());
        return false;
    }
    if (file == nullptr) {
        if (byteCount > 0) {
            std::memcpy(out, next, byteCount);
        }
        next += byteCount;
        return true;
    }
    const size_t got = std::fread(out, 1, byteCount, file);
    fileRemaining -= got;
    if (got != byteCount) {
        // A file shorter than its budget: nothing more can come from it.
        fileRemaining = 0;
        return false;
    }
    return true;
}

bool ByteSource::Skip(uint64_t byteCount) {
    if (Remaining() < byteCount) {
        Skip(Remaining());
        return false;
    }
    if (file == nullptr) {
        next += byteCount;
        return true;
    }
    uint8_t scratch[256];
    while (byteCount > 0) {
        const uint64_t chunk = byteCount < sizeof scratch ? byteCount : sizeof scratch;
        if (!Read(scratch, chunk)) {
            return false;
        }
        byteCount -= chunk;
    }
    return true;
}

bool ByteSource::ReadByte(uint8_t& value) {
    if (file == nullptr) {
        if (next == end) {
            return false;
        }
        value = *next++;
        return true;
    }
    return Read(&value, 1);
}
