// SPDX-License-Identifier: Apache-2.0
// LSB-first bit writer, the mirror of BitReader. Bits are packed into 32-bit words that go
// out little-endian, so a coder stream is always a whole number of words.
#pragma once

#include "support/iArray.h"

#include <cstdint>

// Fields:
//   output        the bytes written so far (whole words only)
//   word          the open word; its low pendingBits bits are written
//   pendingBits   bits in the open word, 0..31; 0 means no word is open
//   limit         a completed word that brings output to this many bytes stops the writer
class BitWriter {
public:
    BitWriter() : output(0, 4) {}

    // Empties the output (keeping at least reserveBytes of storage) and closes the word.
    bool Reset(int64_t reserveBytes);
    void SetLimit(uint64_t bytes) { limit = bytes; }

    // Appends the low bitCount (<= 32) bits of value. False once the limit is reached;
    // the bits after the word that reached it are dropped.
    bool Write(uint64_t value, uint32_t bitCount);
    // Flushes an open word, its unused high bits 0.
    bool Close();

    const uint8_t* Data() const { return output.Data(); }
    uint64_t ByteCount() const { return static_cast<uint64_t>(output.Count()); }
    // False when storage ran out at some point; the output is then incomplete.
    bool Failed() const { return failed; }

private:
    bool AppendWord(uint32_t value, bool checkLimit);

    iArray<uint8_t, int64_t> output;
    uint64_t word = 0;
    uint32_t pendingBits = 0;
    uint64_t limit = UINT64_MAX;
    bool failed = false;
};
