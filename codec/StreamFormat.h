// SPDX-License-Identifier: Apache-2.0
// Constants of the codec stream, shared by the decoder and the encoder so that both read
// the layout from one place. All multi-byte header fields are little-endian.
#pragma once

#include <cstdint>

namespace StreamFormat {

// First two bytes of every stream.
constexpr uint16_t StreamMagicSingle = 0xFC01; // one block: method byte, then its body
constexpr uint16_t StreamMagicZones = 0xFC02;  // zone table, then one stream per zone

// Byte after the single-block magic.
enum class Method : uint8_t {
    Raw = 0,      // count u32, then count f32 bit patterns
    Constant = 1, // count u32, then one f32 repeated count times
    Coded = 2,    // quantised header, then the coder stream
};

// Quantised header after the extents: scale f32, offset f32, base i32, passes u8.
constexpr uint32_t QuantisedTailBytes = 13;

// Offsets in (0, OffsetFlushLimit) are read as 0: the writer of some files left denormal
// noise there instead of a clean zero.
constexpr float OffsetFlushLimit = 1e-20f;

// Coder stream header widths, in bits.
constexpr int WidthBits = 8;
constexpr int CountBits = 32;
constexpr int BiasBits = 32;
constexpr int FrequencyWidthBits = 6;
constexpr int SymbolWidthBits = 6;

// The encoder writes the coder stream in whole 32-bit words.
constexpr uint32_t CoderWordBytes = 4;

// Deepest Shannon-Fano code the decoder accepts. The encoder never stores codes longer
// than 32 bits, so anything deeper comes from a damaged or hostile table.
constexpr int MaxCodeDepth = 64;

// Deepest nesting of zone containers the decoder follows, the outermost counting as 1.
// Zones may themselves be containers; the bound keeps crafted streams from exhausting
// the stack.
constexpr int MaxZoneDepth = 8;

// Minimum run folded into a run marker by the encoder.
constexpr int32_t MinimumRun = 4;

// The number of right shifts that bring value to zero: widths and frequency widths are
// stated this way (0 -> 0, 1 -> 1, 2 -> 2, 3 -> 2, 4 -> 3).
constexpr uint32_t bitLength(uint64_t value) {
    uint32_t bits = 0;
    for (; value != 0; value >>= 1) {
        ++bits;
    }
    return bits;
}

} // namespace StreamFormat
