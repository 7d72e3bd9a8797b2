// SPDX-License-Identifier: Apache-2.0
// The symbols that an encoder's items use, with their frequencies, and the code table
// entry of each once the table is ordered. Symbols in a window are counted in an array;
// the window is the whole range when that is small against the items, otherwise the
// literals near 0 and the short runs, where a coded block's items crowd. Symbols outside
// it (long runs, wide literals) are found by sorting a copy of those items, so that memory
// follows the items and never the range.
#pragma once

#include "codec/EntropyCoder.h"

#include <cstdint>

// Fields:
//   counts        per symbol of the window: its frequency, then its table entry
//   windowLow     first symbol of the window
//   windowSize    symbols in the window, at most 2^24
//   outside       the distinct symbols outside the window in ascending order (a sorted
//                 copy of those items, compacted in place); null when there are none
//   outsideRanks  per symbol of outside: its frequency, then its table entry
//   outsideCount  distinct symbols in outside
//   distinct      symbols that occur
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
    /// The table entry of a symbol that occurs.
    uint32_t EntryOf(uint32_t symbol) const {
        const uint32_t inWindow = symbol - windowLow;
        return inWindow < windowSize ? counts[inWindow] : OutsideEntryOf(symbol);
    }

    /// The symbol that stands for item: its distance above origin, wrapping.
    static uint32_t SymbolOf(int32_t item, int32_t origin) {
        return static_cast<uint32_t>(item) - static_cast<uint32_t>(origin);
    }

private:
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
};
