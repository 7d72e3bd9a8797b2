// SPDX-License-Identifier: Apache-2.0
// LSB-first bit writer, the mirror of BitReader. Bits are packed into 32-bit words that go
// out little-endian, so a coder stream is always a whole number of words.
#pragma once

#include "support/ByteOrder.h"
#include "support/iArray.h"

#include <algorithm>
#include <cassert>
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
    // the bits after the word that reached it are dropped. Inline: the coder writes every
    // item through it.
    bool Write(uint64_t value, uint32_t bitCount) {
        assert(bitCount <= 32);
        word |= (value & ((uint64_t(1) << bitCount) - 1)) << pendingBits;
        pendingBits += bitCount;
        if (pendingBits < 32) {
            return !failed;
        }
        const uint32_t full = static_cast<uint32_t>(word);
        word >>= 32;
        pendingBits -= 32;
        return AppendWord(full, true) && !failed;
    }
    struct Code {
        uint32_t bits;
        uint32_t length;
    };
    // Writes count codes as Write would one by one, codeOf(i) giving the i-th (length at
    // most maxLength <= 32), with the open word held in registers and the room claimed
    // once. False once the limit is reached.
    template <typename CodeOf>
    bool WriteEach(uint64_t count, uint32_t maxLength, CodeOf codeOf);
    // Flushes an open word, its unused high bits 0.
    bool Close();

    const uint8_t* Data() const { return output.Data(); }
    uint64_t ByteCount() const { return static_cast<uint64_t>(output.Count()); }
    // False when storage ran out at some point; the output is then incomplete.
    bool Failed() const { return failed; }

private:
    bool AppendWord(uint32_t value, bool checkLimit);
    void LogLimitReached() const;

    iArray<uint8_t, int64_t> output;
    uint64_t word = 0;
    uint32_t pendingBits = 0;
    uint64_t limit = UINT64_MAX;
    bool failed = false;
};

template <typename CodeOf>
bool BitWriter::WriteEach(uint64_t count, uint32_t maxLength, CodeOf codeOf) {
    const int64_t at = output.Count();
    uint64_t room = ((pendingBits + count * maxLength) / 32 + 1) * 4;
    // Writing stops at the first word that reaches the limit.
    const uint64_t written = static_cast<uint64_t>(at);
    room = std::min(room, (limit > written ? limit - written : 0) + 4);
    if (failed || !output.SetSize(at + static_cast<int64_t>(room))) {
        failed = true;
        return false;
    }
    uint8_t* const data = output.Data();
    uint64_t bytes = written;
    uint64_t open = word;
    uint32_t bits = pendingBits;
    bool fits = true;
    for (uint64_t i = 0; i < count; ++i) {
        const Code code = codeOf(i);
        assert(code.length <= maxLength);
        open |= (code.bits & ((uint64_t(1) << code.length) - 1)) << bits;
        bits += code.length;
        if (bits >= 32) {
            writeLE32(data + bytes, static_cast<uint32_t>(open));
            bytes += 4;
            open >>= 32;
            bits -= 32;
            if (bytes >= limit) {
                fits = false;
                break;
            }
        }
    }
    word = open;
    pendingBits = bits;
    output.SetSize(static_cast<int64_t>(bytes));
    if (!fits) {
        LogLimitReached();
    }
    return fits;
}
