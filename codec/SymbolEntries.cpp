// SPDX-License-Identifier: Apache-2.0
#include "codec/SymbolEntries.h"

#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Ranges up to this many symbols are always counted; up to MaxCountedSymbols when there
// are at least a quarter as many items. Beyond, sorting the items takes less memory.
constexpr uint64_t AlwaysCountedSymbols = uint64_t(1) << 20;
constexpr uint64_t MaxCountedSymbols = uint64_t(1) << 24;
constexpr uint64_t CountedSymbolsPerItem = 4;

} // namespace

SymbolEntries::~SymbolEntries() {
    std::free(counts);
    delete[] ascending;
    delete[] entries;
}

SymbolEntries::Outcome SymbolEntries::Collect(const int32_t* items, uint64_t itemCount,
                                              int32_t minimum, uint64_t range,
                                              EntropyCoder::SymbolFrequency*& srt,
                                              uint32_t& symbolCount) {
    const uint64_t symbols = range + 1;
    const bool counted =
        symbols <= MaxCountedSymbols &&
        (symbols <= AlwaysCountedSymbols || symbols <= CountedSymbolsPerItem * itemCount);
    const Outcome outcome = counted ? CollectByCounting(items, itemCount, minimum, range, srt)
                                    : CollectBySorting(items, itemCount, minimum, srt);
    symbolCount = outcome == Outcome::Collected ? distinct : 0;
    return outcome;
}

SymbolEntries::Outcome SymbolEntries::CollectByCounting(const int32_t* items, uint64_t itemCount,
                                                        int32_t minimum, uint64_t range,
                                                        EntropyCoder::SymbolFrequency*& srt) {
    if (!newZeroedArray(counts, range + 1)) {
        logMessage("Encode newZeroedArray rates failed!\n");
        return Outcome::OutOfMemory;
    }
    for (uint64_t i = 0; i < itemCount; ++i) {
        ++counts[SymbolOf(items[i], minimum)];
    }
    uint64_t occurring = 0;
    for (uint64_t symbol = 0; symbol <= range; ++symbol) {
        occurring += counts[symbol] != 0 ? 1 : 0;
    }
    if (!newArray(srt, occurring)) {
        logMessage("Encode newArray srt failed!\n");
        return Outcome::OutOfMemory;
    }
    distinct = static_cast<uint32_t>(occurring);
    uint32_t entry = 0;
    bool fits = true;
    for (uint64_t symbol = 0; symbol <= range; ++symbol) {
        if (counts[symbol] != 0) {
            fits = fits && counts[symbol] <= uint32_t(INT32_MAX);
            srt[entry++] = {static_cast<uint32_t>(symbol), static_cast<int32_t>(counts[symbol])};
        }
    }
    return fits ? Outcome::Collected : Outcome::TooFrequent;
}

SymbolEntries::Outcome SymbolEntries::CollectBySorting(const int32_t* items, uint64_t itemCount,
                                                       int32_t minimum,
                                                       EntropyCoder::SymbolFrequency*& srt) {
    if (!newArray(ascending, itemCount)) {
        logMessage("Encode newArray sorted items failed!\n");
        return Outcome::OutOfMemory;
    }
    for (uint64_t i = 0; i < itemCount; ++i) {
        ascending[i] = SymbolOf(items[i], minimum);
    }
    std::sort(ascending, ascending + itemCount);
    uint64_t occurring = 0;
    for (uint64_t i = 0; i < itemCount; ++i) {
        occurring += i == 0 || ascending[i] != ascending[i - 1] ? 1 : 0;
    }
    if (!newArray(srt, occurring)) {
        logMessage("Encode newArray srt failed!\n");
        return Outcome::OutOfMemory;
    }
    distinct = static_cast<uint32_t>(occurring);
    // Each run of equal symbols becomes one entry, and its symbol moves to the front.
    bool fits = true;
    uint64_t entry = 0;
    for (uint64_t first = 0; first < itemCount;) {
        uint64_t end = first + 1;
        while (end < itemCount && ascending[end] == ascending[first]) {
            ++end;
        }
        fits = fits && end - first <= uint64_t(INT32_MAX);
        srt[entry] = {ascending[first], static_cast<int32_t>(end - first)};
        ascending[entry++] = ascending[first];
        first = end;
    }
    return fits ? Outcome::Collected : Outcome::TooFrequent;
}

bool SymbolEntries::MapEntries(const EntropyCoder::SymbolFrequency* srt, uint32_t symbolCount) {
    if (counts != nullptr) {
        for (uint32_t e = 0; e < symbolCount; ++e) {
            counts[srt[e].symbol] = e;
        }
        return true;
    }
    if (!newArray(entries, symbolCount)) {
        logMessage("Encode newArray entries failed!\n");
        return false;
    }
    for (uint32_t e = 0; e < symbolCount; ++e) {
        entries[std::lower_bound(ascending, ascending + distinct, srt[e].symbol) - ascending] = e;
    }
    return true;
}

uint32_t SymbolEntries::EntryOf(uint32_t symbol) const {
    if (counts != nullptr) {
        return counts[symbol];
    }
    return entries[std::lower_bound(ascending, ascending + distinct, symbol) - ascending];
}
