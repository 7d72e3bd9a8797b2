// SPDX-License-Identifier: Apache-2.0
// Encoding half of the coder. Sizes are 64-bit throughout: grids of 2^27 items and more
// are ordinary, and an item range can span all 2^32 values.
#include "codec/EntropyCoder.h"
#include "codec/StreamFormat.h"
#include "codec/SymbolEntries.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Output arrays start this large so that small streams never reallocate.
constexpr int64_t InitialOutputBytes = 100000;

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

    // The table form is always weighed against the fixed-width one, however wide the range.
    writer.SetLimit(directBytes + 8);
    const TableOutcome outcome =
        EncodeTable(items, itemCount, minimum, range, bitWidth, directBytes);
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
    SymbolEntries symbols;
    switch (symbols.Collect(items, itemCount, minimum, range, srt, symbolCount)) {
    case SymbolEntries::Outcome::OutOfMemory:
        return TableOutcome::OutOfMemory;
    case SymbolEntries::Outcome::TooFrequent:
        // Frequencies are stored as signed 32-bit values.
        return TableOutcome::TooLarge;
    case SymbolEntries::Outcome::Collected:
        break;
    }
    std::sort(srt, srt + symbolCount, [](const SymbolFrequency& a, const SymbolFrequency& b) {
        return a.frequency > b.frequency;
    });
    if (!symbols.MapEntries(srt, symbolCount)) {
        return TableOutcome::OutOfMemory;
    }
    if (!newZeroedArray(val2code, uint64_t(2) * symbolCount)) {
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
    for (uint32_t e = 0; e < symbolCount; ++e) {
        codeBits += static_cast<uint64_t>(srt[e].frequency) * val2code[2 * uint64_t(e) + 1];
    }
    const uint64_t tableBytes = codeBits / 8 + symbolCount / 4 + 10;
    if (tableBytes > directBytes) {
        logMessage("Encode directsz<compsz! directsz=%.0f, compsz=%.0f\n",
                   static_cast<double>(directBytes), static_cast<double>(tableBytes));
        return TableOutcome::TooLarge;
    }
    return WriteTable(items, itemCount, minimum, bitWidth, symbols) ? TableOutcome::Written
                                                                    : TableOutcome::TooLarge;
}

bool EntropyCoder::WriteTable(const int32_t* items, uint64_t itemCount, int32_t minimum,
                              uint32_t bitWidth, const SymbolEntries& symbols) {
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
        const uint64_t entry = symbols.EntryOf(SymbolEntries::SymbolOf(items[i], minimum));
        fits = WriteWord(val2code[2 * entry], val2code[2 * entry + 1]);
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
        WriteWord(SymbolEntries::SymbolOf(items[i], minimum), bitWidth);
    }
    writer.Close();
}
