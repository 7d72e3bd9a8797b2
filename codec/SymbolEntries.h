// SPDX-License-Identifier: Apache-2.0
// The symbols that an encoder's items use, with their frequencies, and the code table
// entry of each once the table is ordered. A range that is small against the items is
// counted in an array over the range; a wider one is found by sorting a copy of the
// items, so that memory follows the items and never the range.
#pragma once

#include "codec/EntropyCoder.h"

#include <cstdint>

// Fields:
//   counts     dense: per symbol its frequency, then its table entry; null when sparse
//   ascending  sparse: the distinct symbols in ascending order (a sorted copy of the
//              items, compacted in place); null when dense
//   entries    sparse: the table entry of each symbol of ascending, by rank
//   distinct   symbols that occur
class SymbolEntries {
public:
    enum class Outcome { Collected, OutOfMemory, TooFrequent };

    SymbolEntries() = default;
    ~SymbolEntries();
    SymbolEntries(const SymbolEntries&) = delete;
    SymbolEntries& operator=(const SymbolEntries&) = delete;

    /// Finds the symbols (item - minimum, at most range) of the items and gives them to
    /// srt, a new array in ascending symbol order that the caller owns. OutOfMemory is
    /// logged; TooFrequent means a frequency does not fit the table's signed 32 bits.
    Outcome Collect(const int32_t* items, uint64_t itemCount, int32_t minimum, uint64_t range,
                    EntropyCoder::SymbolFrequency*& srt, uint32_t& symbolCount);
    /// Records each symbol's entry once srt has its final order. False when memory runs out.
    bool MapEntries(const EntropyCoder::SymbolFrequency* srt, uint32_t symbolCount);
    /// The table entry of a symbol that occurs.
    uint32_t EntryOf(uint32_t symbol) const;

    /// The symbol that stands for item: its distance above the smallest item, wrapping.
    static uint32_t SymbolOf(int32_t item, int32_t minimum) {
        return static_cast<uint32_t>(item) - static_cast<uint32_t>(minimum);
    }

private:
    Outcome CollectByCounting(const int32_t* items, uint64_t itemCount, int32_t minimum,
                              uint64_t range, EntropyCoder::SymbolFrequency*& srt);
    Outcome CollectBySorting(const int32_t* items, uint64_t itemCount, int32_t minimum,
                             EntropyCoder::SymbolFrequency*& srt);

    uint32_t* counts = nullptr;
    uint32_t* ascending = nullptr;
    uint32_t* entries = nullptr;
    uint32_t distinct = 0;
};
