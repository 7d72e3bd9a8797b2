// SPDX-License-Identifier: Apache-2.0
// LSB-first bit reader over a ByteSource. Bits wait in a 64-bit buffer, bit 0 next; memory
// refills take eight bytes at once, file refills one byte at a time so that a file is read
// at most a few bytes ahead of the bits used.
#pragma once

#include "codec/ByteSource.h"
#include "support/ByteOrder.h"

#include <cassert>
#include <cstdint>

// Fields:
//   source        bytes not yet moved into the buffer
//   buffer        pending bits, the next one in bit 0. Bits above bitCount are 0 or copies
//                 of the source's next bytes, which a refill ORs in again unchanged.
//   bitCount      valid bits in buffer
//   phantomBytes  zero bytes supplied after the end of the source. They sit at the top of
//                 the buffer, so the stream overran exactly when more phantom bits were
//                 supplied than are still pending.
// Counts are 64-bit so that stores through int32_t pointers cannot alias them.
class BitReader {
public:
    BitReader() = default;
    explicit BitReader(const ByteSource& from) : source(from) {}

    // Makes at least want (<= 56) bits pending, padding with zero bits past the end.
    void Need(uint64_t want) {
        if (bitCount >= want) {
            return;
        }
        if (!source.IsFile() && source.End() - source.Position() >= 8) {
            buffer |= readLE64(source.Position()) << bitCount;
            source.Advance((63 - bitCount) >> 3);
            bitCount |= 56;
            return;
        }
        while (bitCount < want) {
            uint8_t byte = 0;
            if (!source.ReadByte(byte)) {
                ++phantomBytes;
            }
            buffer |= uint64_t(byte) << bitCount;
            bitCount += 8;
        }
    }

    uint64_t Peek() const { return buffer; }
    bool IsFile() const { return source.IsFile(); }

    void Consume(uint64_t bits) {
        assert(bits <= bitCount && bits < 64);
        buffer >>= bits;
        bitCount -= bits;
    }

    // A field of up to 32 bits, its first bit in bit 0.
    uint32_t Read(uint64_t bits) {
        assert(bits <= 32);
        Need(bits);
        const uint32_t value = static_cast<uint32_t>(buffer & ((uint64_t(1) << bits) - 1));
        Consume(bits);
        return value;
    }

    // Hands the memory-mode state to a decode loop that keeps it in registers, and takes it
    // back. The loop must refill exactly as Need does.
    void Export(uint64_t& bits, uint64_t& count, const uint8_t*& next, const uint8_t*& end) const {
        bits = buffer;
        count = bitCount;
        next = source.Position();
        end = source.End();
    }
    void Import(uint64_t bits, uint64_t count, const uint8_t* next) {
        buffer = bits;
        bitCount = count;
        source.Advance(static_cast<uint64_t>(next - source.Position()));
    }

    // True once a bit past the end of the source has been consumed.
    bool Overrun() const { return phantomBytes * 8 > bitCount; }

    // Bits still available: pending real bits plus those left in the source.
    uint64_t BitsLeft() const {
        const uint64_t phantomBits = phantomBytes * 8;
        const uint64_t realPending = bitCount > phantomBits ? bitCount - phantomBits : 0;
        return realPending + source.Remaining() * 8;
    }

private:
    ByteSource source;
    uint64_t buffer = 0;
    uint64_t bitCount = 0;
    uint64_t phantomBytes = 0;
};
