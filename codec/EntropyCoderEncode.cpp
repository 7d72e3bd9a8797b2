// SPDX-License-Identifier: Apache-2.0
// Encoding half of the coder. Sizes are 64-bit throughout: grids of 2^27 items and more
// are ordinary, and an item range can span all 2^32 values.
#include "codec/EntropyCoder.h"
#include "codec/StreamFormat.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Output arrays start this large so that small streams never reallocate.
constexpr int64_t InitialOutputBytes = 100000;

// The counts and code tables take 12 bytes per possible symbol. Ranges wider than this, or
// than a few symbols per item, go straight to the fixed-width form rather than allocate
// up to 48 GiB; with at most 2^24 possible symbols (runs of up to 16 Mi elements, which the
// zone encoder never exceeds) the table form stays available to real grids.
constexpr uint64_t MaxTableSymbols = uint64_t(1) << 24;
constexpr uint64_t AlwaysTableSymbols = uint64_t(1) << 20;
constexpr uint64_t TableSymbolsPerItem = 4;

uint32_t symbolOf(int32_t item, int32_t minimum) {
    return static_cast<uint32_t>(item) - static_cast<uint32_t>(minimum);
}

} // namespace

uint64_t EntropyCoder::RunLengthPack(const int32_t* in, int32_t* out, uint64_t count,
                                     int32_t minimumRun) {
    if (count == 0) {
        return 0;
    }
    int32_t last = in[0];
    out[0] = last;
    uint64_t written = 1;
    uint64_t firstRepeat = 0;
    int32_t repeats = 0;
    bool runOpen = false;
    for (uint64_t i = 1; i < count; ++i) {
        const int32_t value = in[i];
        // A marker at its most negative closes the run, so run lengths stay within 2^31 - 1.
        if (runOpen && value == last && out[written - 1] != -INT32_MAX) {
            --out[written - 1];
            continue;
        }
        if (runOpen || value != last) {
            out[written++] = value;
            last = value;
            repeats = 0;
            runOpen = false;
            continue;
        }
        ++repeats;
        if (repeats < minimumRun) {
            if (repeats == 1) {
                firstRepeat = written;
            }
            out[written++] = value;
            continue;
        }
        written = firstRepeat;
        out[written++] = -minimumRun;
        runOpen = true;
    }
    return written;
}

uint64_t EntropyCoder::Encode(const int32_t* items, uint64_t itemCount) {
    writer.Reset(InitialOutputBytes);
    FreeTables();
    int32_t minimum = itemCount > 0 ? items[0] : 0;
    int32_t maximum = minimum;
    for (uint64_t i = 0; i < itemCount; ++i) {
        minimum = std::min(minimum, items[i]);
        maximum = std::max(maximum, items[i]);
    }
    const uint64_t range = static_cast<uint64_t>(int64_t(maximum) - int64_t(minimum));
    // range + 1 == 2^32 needs 33 bits to count, but every symbol still fits in 32.
    const uint32_t bitWidth = std::min<uint32_t>(StreamFormat::bitLength(range + 1), 32);
    const uint64_t directBytes = uint64_t(bitWidth) * itemCount / 8;

    TableOutcome outcome = TableOutcome::TooLarge;
    const bool countable =
        range + 1 <= MaxTableSymbols &&
        (range + 1 <= AlwaysTableSymbols || range + 1 <= TableSymbolsPerItem * itemCount);
    if (countable) {
        writer.SetLimit(directBytes + 8);
        outcome = EncodeTable(items, itemCount, minimum, range, bitWidth, directBytes);
    }
    FreeTables();
    if (outcome == TableOutcome::TooLarge) {
        EncodeFixedWidth(items, itemCount, minimum, bitWidth);
    }
    if (outcome == TableOutcome::OutOfMemory || writer.Failed()) {
        writer.Reset(0);
        return 0;
    }
    return writer.ByteCount();
}

EntropyCoder::TableOutcome EntropyCoder::EncodeTable(const int32_t* items, uint64_t itemCount,
                                                     int32_t minimum, uint64_t range,
                                                     uint32_t bitWidth, uint64_t directBytes) {
    uint32_t* rates = nullptr;
    if (!newZeroedArray(rates, range + 1)) {
        logMessage("Encode newZeroedArray rates failed!\n");
        return TableOutcome::OutOfMemory;
    }
    for (uint64_t i = 0; i < itemCount; ++i) {
        ++rates[symbolOf(items[i], minimum)];
    }
    uint64_t occurring = 0;
    for (uint64_t symbol = 0; symbol <= range; ++symbol) {
        occurring += rates[symbol] != 0 ? 1 : 0;
    }
    if (!newArray(srt, occurring)) {
        std::free(rates);
        logMessage("Encode newArray srt failed!\n");
        return TableOutcome::OutOfMemory;
    }
    symbolCount = static_cast<uint32_t>(occurring);
    uint32_t entry = 0;
    bool countsFit = true;
    for (uint64_t symbol = 0; symbol <= range; ++symbol) {
        if (rates[symbol] != 0) {
            countsFit = countsFit && rates[symbol] <= uint32_t(INT32_MAX);
            srt[entry++] = {static_cast<uint32_t>(symbol), static_cast<int32_t>(rates[symbol])};
        }
    }
    std::free(rates);
    // Frequencies are stored as signed 32-bit values.
    if (!countsFit) {
        return TableOutcome::TooLarge;
    }
    std::sort(srt, srt + symbolCount, [](const SymbolFrequency& a, const SymbolFrequency& b) {
        return a.frequency > b.frequency;
    });
    if (!newZeroedArray(val2code, 2 * range + 2)) {
        logMessage("Encode newZeroedArray val2code failed!\n");
        return TableOutcome::OutOfMemory;
    }
    if (!newArray(tree, uint64_t(2) * symbolCount)) {
        logMessage("Encode newArray tree failed!\n");
        return TableOutcome::OutOfMemory;
    }
    nextFreeNode = 1;
    codeTooLong = false;
    // val2code holds 32 code bits; a longer code cannot be written.
    if (!Build(0, 0, symbolCount, itemCount, 0, 0) || codeTooLong) {
        return TableOutcome::TooLarge;
    }
    uint64_t codeBits = 0;
    for (uint64_t i = 0; i < itemCount; ++i) {
        codeBits += val2code[2 * uint64_t(symbolOf(items[i], minimum)) + 1];
    }
    const uint64_t tableBytes = codeBits / 8 + symbolCount / 4 + 10;
    if (tableBytes > directBytes) {
        logMessage("Encode directsz<compsz! directsz=%.0f, compsz=%.0f\n",
                   static_cast<double>(directBytes), static_cast<double>(tableBytes));
        return TableOutcome::TooLarge;
    }
    return WriteTable(items, itemCount, minimum, bitWidth) ? TableOutcome::Written
                                                           : TableOutcome::TooLarge;
}

bool EntropyCoder::WriteTable(const int32_t* items, uint64_t itemCount, int32_t minimum,
                              uint32_t bitWidth) {
    const uint32_t frequencyBits = StreamFormat::bitLength(static_cast<uint64_t>(srt[0].frequency));
    bool fits = WriteWord(0, StreamFormat::WidthBits) &&
                WriteWord(symbolCount, StreamFormat::CountBits) &&
                WriteWord(static_cast<uint32_t>(minimum), StreamFormat::BiasBits) &&
                WriteWord(frequencyBits, StreamFormat::FrequencyWidthBits) &&
                WriteWord(bitWidth, StreamFormat::SymbolWidthBits);
    for (uint32_t i = 0; fits && i < symbolCount; ++i) {
        if (i == 0 || srt[i].frequency != srt[i - 1].frequency) {
            fits = WriteWord(1, 1) &&
                   WriteWord(static_cast<uint32_t>(srt[i].frequency), frequencyBits);
        } else {
            fits = WriteWord(0, 1);
        }
        fits = fits && WriteWord(srt[i].symbol, bitWidth);
    }
    for (uint64_t i = 0; fits && i < itemCount; ++i) {
        const uint64_t symbol = symbolOf(items[i], minimum);
        fits = WriteWord(val2code[2 * symbol], val2code[2 * symbol + 1]);
    }
    return fits && writer.Close();
}

void EntropyCoder::EncodeFixedWidth(const int32_t* items, uint64_t itemCount, int32_t minimum,
                                    uint32_t bitWidth) {
    writer.Reset(InitialOutputBytes);
    // The fixed-width form is exactly directBytes long, so no limit applies.
    WriteWord(bitWidth, StreamFormat::WidthBits);
    WriteWord(static_cast<uint32_t>(minimum), StreamFormat::BiasBits);
    for (uint64_t i = 0; i < itemCount; ++i) {
        WriteWord(symbolOf(items[i], minimum), bitWidth);
    }
    writer.Close();
}
