// SPDX-License-Identifier: Apache-2.0
#include "codec/SymbolEntries.h"

#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Ranges up to this many symbols are counted whole; up to MaxCountedSymbols when there
// are at least a quarter as many items. Wider ranges count a window of four symbols per
// item, at least SmallestWindow and at most AlwaysCountedSymbols.
constexpr uint64_t AlwaysCountedSymbols = uint64_t(1) << 20;
constexpr uint64_t MaxCountedSymbols = uint64_t(1) << 24;
constexpr uint64_t CountedSymbolsPerItem = 4;
// A window over a wide range starts at the marker of a run this long, so that short runs
// are counted with the literals above them.
constexpr int64_t WindowRunLength = 4096;
constexpr uint64_t SmallestWindow = 4096;

} // namespace

SymbolEntries::~SymbolEntries() {
    std::free(counts);
    delete[] outside;
    delete[] outsideRanks;
}

void SymbolEntries::PlaceWindow(uint64_t itemCount, int32_t minimum, uint64_t range) {
    const uint64_t symbols = range + 1;
    if (symbols <= MaxCountedSymbols &&
        (symbols <= AlwaysCountedSymbols || symbols <= CountedSymbolsPerItem * itemCount)) {
        windowLow = 0;
        windowSize = static_cast<uint32_t>(symbols);
        return;
    }
    // Few items count in a small window, so that memory still follows the items.
    const uint64_t size =
        std::min(AlwaysCountedSymbols, std::max(SmallestWindow, CountedSymbolsPerItem * itemCount));
    windowSize = static_cast<uint32_t>(size);
    const int64_t lowItem = std::max<int64_t>(minimum, -WindowRunLength);
    const uint64_t low = static_cast<uint64_t>(lowItem - int64_t(minimum));
    windowLow = static_cast<uint32_t>(std::min(low, symbols - size));
}

SymbolEntries::Outcome SymbolEntries::Collect(const int32_t* items, uint64_t itemCount,
                                              int32_t minimum, int32_t origin, uint64_t range,
                                              EntropyCoder::SymbolFrequency*& srt,
                                              uint32_t& symbolCount) {
    symbolCount = 0;
    PlaceWindow(itemCount, minimum, range);
    if (!newZeroedArray(counts, windowSize)) {
        logMessage("Encode newZeroedArray rates failed!\n");
        return Outcome::OutOfMemory;
    }
    uint64_t outsideItems = 0;
    for (uint64_t i = 0; i < itemCount; ++i) {
        const uint32_t inWindow = SymbolOf(items[i], origin) - windowLow;
        if (inWindow < windowSize) {
            ++counts[inWindow];
        } else {
            ++outsideItems;
        }
    }
    const Outcome outcome = CountOutside(items, itemCount, origin, outsideItems);
    if (outcome == Outcome::OutOfMemory) {
        return outcome;
    }
    uint64_t occurring = outsideCount;
    for (uint32_t s = 0; s < windowSize; ++s) {
        occurring += counts[s] != 0 ? 1 : 0;
    }
    if (!newArray(srt, occurring)) {
        logMessage("Encode newArray srt failed!\n");
        return Outcome::OutOfMemory;
    }
    distinct = static_cast<uint32_t>(occurring);
    // Ascending symbol order: the outside symbols below the window, the window, the rest.
    const uint64_t below = static_cast<uint64_t>(
        std::lower_bound(outside, outside + outsideCount, windowLow) - outside);
    uint32_t entry = 0;
    for (uint64_t o = 0; o < below; ++o) {
        srt[entry++] = {outside[o], static_cast<int32_t>(outsideRanks[o])};
    }
    bool fits = outcome == Outcome::Collected;
    for (uint32_t s = 0; s < windowSize; ++s) {
        if (counts[s] != 0) {
            fits = fits && counts[s] <= uint32_t(INT32_MAX);
            srt[entry++] = {windowLow + s, static_cast<int32_t>(counts[s])};
        }
    }
    for (uint64_t o = below; o < outsideCount; ++o) {
        srt[entry++] = {outside[o], static_cast<int32_t>(outsideRanks[o])};
    }
    symbolCount = distinct;
    return fits ? Outcome::Collected : Outcome::TooFrequent;
}

SymbolEntries::Outcome SymbolEntries::CountOutside(const int32_t* items, uint64_t itemCount,
                                                   int32_t origin, uint64_t outsideItems) {
    if (outsideItems == 0) {
        return Outcome::Collected;
    }
    if (!newArray(outside, outsideItems) || !newArray(outsideRanks, outsideItems)) {
        logMessage("Encode newArray sorted items failed!\n");
        return Outcome::OutOfMemory;
    }
    uint64_t copied = 0;
    for (uint64_t i = 0; i < itemCount; ++i) {
        const uint32_t symbol = SymbolOf(items[i], origin);
        if (symbol - windowLow >= windowSize) {
            outside[copied++] = symbol;
        }
    }
    std::sort(outside, outside + outsideItems);
    // Each run of equal symbols becomes one entry, and its symbol moves to the front.
    bool fits = true;
    outsideCount = 0;
    for (uint64_t first = 0; first < outsideItems;) {
        uint64_t end = first + 1;
        while (end < outsideItems && outside[end] == outside[first]) {
            ++end;
        }
        fits = fits && end - first <= uint64_t(INT32_MAX);
        outsideRanks[outsideCount] = static_cast<uint32_t>(end - first);
        outside[outsideCount++] = outside[first];
        first = end;
    }
    return fits ? Outcome::Collected : Outcome::TooFrequent;
}

void SymbolEntries::MapEntries(const EntropyCoder::SymbolFrequency* srt, uint32_t symbolCount) {
    for (uint32_t e = 0; e < symbolCount; ++e) {
        const uint32_t symbol = srt[e].symbol;
        const uint32_t inWindow = symbol - windowLow;
        if (inWindow < windowSize) {
            counts[inWindow] = e;
        } else {
            outsideRanks[std::lower_bound(outside, outside + outsideCount, symbol) - outside] = e;
        }
    }
}

void SymbolEntries::PackCodes(const EntropyCoder::SymbolFrequency* srt, const uint32_t* val2code,
                              uint32_t symbolCount) {
    for (uint32_t e = 0; e < symbolCount; ++e) {
        if (val2code[2 * uint64_t(e) + 1] > PackedCodeBits) {
            return;
        }
    }
    for (uint32_t e = 0; e < symbolCount; ++e) {
        const uint32_t inWindow = srt[e].symbol - windowLow;
        if (inWindow < windowSize) {
            counts[inWindow] = val2code[2 * uint64_t(e)] | val2code[2 * uint64_t(e) + 1]
                                                               << PackedCodeBits;
        }
    }
    packedCodes = true;
}

uint32_t SymbolEntries::OutsideEntryOf(uint32_t symbol) const {
    return outsideRanks[std::lower_bound(outside, outside + outsideCount, symbol) - outside];
}
