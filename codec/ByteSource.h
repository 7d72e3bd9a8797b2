// SPDX-License-Identifier: Apache-2.0
// Where a stream's bytes come from: a memory range or an open stdio file. Both carry a
// byte budget, so a hostile length can never make a reader run past its input.
#pragma once

#include <cstdint>
#include <cstdio>

// Fields:
//   next, end      memory mode: the unread bytes are [next, end); both null in file mode
//   file           file mode: the stream, positioned at the next unread byte
//   fileRemaining  file mode: bytes that may still be read from the file
class ByteSource {
public:
    ByteSource() = default;
    static ByteSource FromMemory(const uint8_t* bytes, uint64_t byteCount);
    static ByteSource FromFile(FILE* file, uint64_t byteCount);

    // Copies byteCount bytes to out. False when fewer remain; the source is then exhausted.
    bool Read(void* out, uint64_t byteCount);
    // Moves past byteCount bytes; false when fewer remain.
    bool Skip(uint64_t byteCount);
    // One byte, or false at the end.
    bool ReadByte(uint8_t& value);

    uint64_t Remaining() const;
    bool IsFile() const { return file != nullptr; }
    // Memory mode only: the next unread byte.
    const uint8_t* Position() const { return next; }
    const uint8_t* End() const { return end; }
    // Memory mode only: the reader took count bytes straight from Position().
    void Advance(uint64_t count) { next += count; }

private:
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;
    FILE* file = nullptr;
    uint64_t fileRemaining = 0;
};
