// SPDX-License-Identifier: Apache-2.0
// Encoding half of the coder. Sizes are 64-bit throughout: grids of 2^27 items and more
// are ordinary, and an item range can span all 2^32 values.
#include "codec/EntropyCoder.h"
#include "codec/RunPacker.h"
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
    RunPacker packer(out, minimumRun);
    packer.Feed(in, count);
    return packer.Finish();
}

uint64_t EntropyCoder::Encode(const int32_t* items, uint64_t itemCount) {
    int32_t minimum = itemCount > 0 ? items[0] : 0;
    int32_t maximum = minimum;
    for (uint64_t i = 0; i < itemCount; ++i) {
        minimum = std::min(minimum, items[i]);
        maximum = std::max(maximum, items[i]);
    }
    return Encode(items, itemCount, minimum, maximum, 0);
}

uint64_t EntropyCoder::Encode(const int32_t* items, uint64_t itemCount, int32_t minimum,
                              int32_t maximum, int32_t itemOffset) {
    const Items coded{
        items, itemCount, minimum,
        static_cast<int32_t>(static_cast<uint32_t>(minimum) + static_cast<uint32_t>(itemOffset))};
    writer.Reset(InitialOutputBytes);
    FreeTables();
    const uint64_t range = static_cast<uint64_t>(int64_t(maximum) - int64_t(minimum));
    // range + 1 == 2^32 needs 33 bits to count, but every symbol still fits in 32.
    const uint32_t bitWidth = std::min<uint32_t>(StreamFormat::bitLength(range + 1), 32);
    const uint64_t directBytes = uint64_t(bitWidth) * itemCount / 8;

    // The table form is always weighed against the fixed-width one, however wide the range.
    writer.SetLimit(directBytes + 8);
    const TableOutcome outcome = EncodeTable(coded, range, bitWidth, directBytes);
    FreeTables();
    if (outcome == TableOutcome::TooLarge) {
        EncodeFixedWidth(coded, bitWidth);
    }
    if (outcome == TableOutcome::OutOfMemory || writer.Failed()) {
        writer.Reset(0);
        return 0;
    }
    return writer.ByteCount();
}

EntropyCoder::TableOutcome EntropyCoder::EncodeTable(const Items& coded, uint64_t range,
                                                     uint32_t bitWidth, uint64_t directBytes) {
    SymbolEntries symbols;
    switch (symbols.Collect(coded.items, coded.count, coded.minimum, coded.origin, range, srt,
                            symbolCount)) {
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
    symbols.MapEntries(srt, symbolCount);
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
    if (!Build(0, 0, symbolCount, coded.count, 0, 0) || codeTooLong) {
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
    return WriteTable(coded, bitWidth, symbols) ? TableOutcome::Written : TableOutcome::TooLarge;
}

bool EntropyCoder::WriteTable(const Items& coded, uint32_t bitWidth, SymbolEntries& symbols) {
    const uint32_t frequencyBits = StreamFormat::bitLength(static_cast<uint64_t>(srt[0].frequency));
    bool fits = WriteWord(0, StreamFormat::WidthBits) &&
                WriteWord(symbolCount, StreamFormat::CountBits) &&
                WriteWord(static_cast<uint32_t>(coded.minimum), StreamFormat::BiasBits) &&
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
    const uint32_t* const codes = val2code;
    symbols.PackCodes(srt, codes, symbolCount);
    fits = fits && writer.WriteEach(coded.count, 32, [&](uint64_t i) {
        return symbols.CodeOf(SymbolEntries::SymbolOf(coded.items[i], coded.origin), codes);
    });
    return fits && writer.Close();
}

void EntropyCoder::EncodeFixedWidth(const Items& coded, uint32_t bitWidth) {
    writer.Reset(InitialOutputBytes);
    // The fixed-width form is exactly directBytes long, so no limit applies.
    WriteWord(bitWidth, StreamFormat::WidthBits);
    WriteWord(static_cast<uint32_t>(coded.minimum), StreamFormat::BiasBits);
    writer.WriteEach(coded.count, bitWidth, [&](uint64_t i) {
        return BitWriter::Code{SymbolEntries::SymbolOf(coded.items[i], coded.origin), bitWidth};
    });
    writer.Close();
}
