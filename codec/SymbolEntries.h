// SPDX-License-Identifier: Apache-2.0
// The symbols that an encoder's items use, with their frequencies, and the code table
// entry of each once the table is ordered. Symbols in a window are counted in an array;
// the window is the whole range when that is small against the items, otherwise the
// literals near 0 and the short runs, where a coded block's items crowd. Symbols outside
// it (long runs, wide literals) are found by sorting a copy of those items, so that memory
// follows the items and never the range.
#pragma once

#include "codec/BitWriter.h"
#include "codec/EntropyCoder.h"

#include <cstdint>

// Fields:
//   counts        per symbol of the window: its frequency, then its table entry, then
//                 (when packedCodes) its code
//   windowLow     first symbol of the window
//   windowSize    symbols in the window, at most 2^24
//   outside       the distinct symbols outside the window in ascending order (a sorted
//                 copy of those items, compacted in place); null when there are none
//   outsideRanks  per symbol of outside: its frequency, then its table entry
//   outsideCount  distinct symbols in outside
//   distinct      symbols that occur
//   packedCodes   counts holds, per window symbol, its code and above it the code length
class SymbolEntries {
public:
    enum class Outcome { Collected, OutOfMemory, TooFrequent };

    SymbolEntries() = default;
    ~SymbolEntries();
    SymbolEntries(const SymbolEntries&) = delete;
    SymbolEntries& operator=(const SymbolEntries&) = delete;

    /// Finds the symbols (item - origin, at most range) of the items and gives them to
    /// srt, a new array in ascending symbol order that the caller owns. minimum is the value
    /// that symbol 0 stands for. OutOfMemory is logged; TooFrequent means a frequency does
    /// not fit the table's signed 32 bits.
    Outcome Collect(const int32_t* items, uint64_t itemCount, int32_t minimum, int32_t origin,
                    uint64_t range, EntropyCoder::SymbolFrequency*& srt, uint32_t& symbolCount);
    /// Records each symbol's entry once srt has its final order.
    void MapEntries(const EntropyCoder::SymbolFrequency* srt, uint32_t symbolCount);
    /// The table entry of a symbol that occurs, before PackCodes.
    uint32_t EntryOf(uint32_t symbol) const {
        const uint32_t inWindow = symbol - windowLow;
        return inWindow < windowSize ? counts[inWindow] : OutsideEntryOf(symbol);
    }
    /// Replaces the entries of the window by their codes (srt in code order; val2code: bits
    /// and length per entry) when every code fits beside its length in 32 bits, so that writing an
    /// item takes one lookup.
    void PackCodes(const EntropyCoder::SymbolFrequency* srt, const uint32_t* val2code,
                   uint32_t symbolCount);
    /// The code of a symbol that occurs.
    BitWriter::Code CodeOf(uint32_t symbol, const uint32_t* val2code) const {
        const uint32_t inWindow = symbol - windowLow;
        if (packedCodes && inWindow < windowSize) {
            const uint32_t packed = counts[inWindow];
            return {packed & PackedCodeMask, packed >> PackedCodeBits};
        }
        const uint64_t entry = EntryOf(symbol);
        return {val2code[2 * entry], val2code[2 * entry + 1]};
    }

    /// The symbol that stands for item: its distance above origin, wrapping.
    static uint32_t SymbolOf(int32_t item, int32_t origin) {
        return static_cast<uint32_t>(item) - static_cast<uint32_t>(origin);
    }

private:
    static constexpr uint32_t PackedCodeBits = 26;
    static constexpr uint32_t PackedCodeMask = (uint32_t(1) << PackedCodeBits) - 1;

    void PlaceWindow(uint64_t itemCount, int32_t minimum, uint64_t range);
    Outcome CountOutside(const int32_t* items, uint64_t itemCount, int32_t origin,
                         uint64_t outsideItems);
    uint32_t OutsideEntryOf(uint32_t symbol) const;

    uint32_t* counts = nullptr;
    uint32_t windowLow = 0;
    uint32_t windowSize = 0;
    uint32_t* outside = nullptr;
    uint32_t* outsideRanks = nullptr;
    uint64_t outsideCount = 0;
    uint32_t distinct = 0;
    bool packedCodes = false;
};
