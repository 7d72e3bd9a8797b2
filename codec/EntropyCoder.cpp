// SPDX-License-Identifier: Apache-2.0
// Decoding half of the coder, and the Shannon-Fano construction that both halves share.
#include "codec/EntropyCoder.h"

#include "codec/StreamFormat.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cstdlib>

namespace {

// 4096 first-level entries: most codes resolve in one lookup, and the packed copy of the
// level takes half of L1.
constexpr uint32_t DecodeTableBits = 12;

// Table entries take one flag bit plus the symbol, so no table can be longer than this.
uint64_t maxEntriesIn(uint64_t bitsLeft, uint32_t symbolBits) {
    return bitsLeft / (1 + symbolBits);
}

// The fast loop's copy of the decode table, four bytes an entry: bits 0-4 the length,
// 5-6 the kind, 7-31 the payload. Literals carry their value minus the base, subtables
// their bits (7-10) and first entry (11-31); anything else, or anything that does not
// fit, is marked for the full table.
constexpr uint32_t PackedLiteral = 0;
constexpr uint32_t PackedSubtable = 1;
constexpr uint32_t PackedOther = 2;
constexpr uint32_t PackedPayloadLimit = uint32_t(1) << 25;
constexpr uint32_t PackedStartLimit = uint32_t(1) << 21;

uint32_t packedKind(uint32_t packed) {
    return (packed >> 5) & 3;
}
uint32_t packedLength(uint32_t packed) {
    return packed & 31;
}
uint32_t packedPayload(uint32_t packed) {
    return packed >> 7;
}

} // namespace

EntropyCoder::~EntropyCoder() {
    FreeTables();
}

void EntropyCoder::FreeTables() {
    delete[] srt;
    srt = nullptr;
    delete[] tree;
    tree = nullptr;
    std::free(val2code);
    val2code = nullptr;
    delete[] table;
    table = nullptr;
    delete[] packedTable;
    packedTable = nullptr;
    symbolCount = 0;
    maxDepth = 0;
}

bool EntropyCoder::InitDecoder(const void* source, bool fromFile, uint64_t sourceBytes) {
    const ByteSource bytes =
        fromFile ? ByteSource::FromFile(static_cast<FILE*>(const_cast<void*>(source)), sourceBytes)
                 : ByteSource::FromMemory(static_cast<const uint8_t*>(source), sourceBytes);
    return InitDecoder(bytes, UINT64_MAX);
}

bool EntropyCoder::InitDecoder(const ByteSource& source, uint64_t maxSymbolCount) {
    reader = BitReader(source);
    FreeTables();
    width = reader.Read(StreamFormat::WidthBits);
    if (width != 0) {
        bias = static_cast<int32_t>(reader.Read(StreamFormat::BiasBits));
        if (width > 32) {
            logMessage("Codec stream refused: symbol width %u\n", width);
            return false;
        }
        return !reader.Overrun();
    }
    return ReadTable(maxSymbolCount);
}

bool EntropyCoder::ReadTable(uint64_t maxSymbolCount) {
    const uint32_t count = reader.Read(StreamFormat::CountBits);
    bias = static_cast<int32_t>(reader.Read(StreamFormat::BiasBits));
    const uint32_t frequencyBits = reader.Read(StreamFormat::FrequencyWidthBits);
    const uint32_t symbolBits = reader.Read(StreamFormat::SymbolWidthBits);
    if (reader.Overrun()) {
        logMessage("Codec stream refused: header past the end of its input\n");
        return false;
    }
    if (frequencyBits > 32 || symbolBits > 32) {
        logMessage("Codec stream refused: table widths %u and %u\n", frequencyBits, symbolBits);
        return false;
    }
    // Checked before allocating: a count that cannot fit fails like a short read. Table
    // symbols are distinct, so there are at most 2^symbolBits of them.
    if (count == 0 || count > INT32_MAX || count > maxSymbolCount ||
        count > maxEntriesIn(reader.BitsLeft(), symbolBits) ||
        uint64_t(count) > (uint64_t(1) << symbolBits)) {
        logMessage("Codec stream refused: table of %u entries\n", count);
        return false;
    }
    if (!newArray(srt, count)) {
        logMessage("Encode InitDecoder srt failed!\n");
        return false;
    }
    symbolCount = count;
    int32_t frequency = 0;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (reader.Read(1) != 0) {
            frequency = static_cast<int32_t>(reader.Read(frequencyBits));
        }
        srt[i].frequency = frequency;
        srt[i].symbol = reader.Read(symbolBits);
        total += static_cast<uint64_t>(static_cast<int64_t>(frequency));
    }
    if (reader.Overrun()) {
        logMessage("Codec stream refused: table past the end of its input\n");
        return false;
    }
    if (!newArray(tree, uint64_t(2) * count)) {
        logMessage("Encode InitDecoder tree failed!\n");
        return false;
    }
    nextFreeNode = 1;
    if (!Build(0, 0, count, total, 0, 0)) {
        logMessage("Codec stream refused: frequency table does not form a code\n");
        return false;
    }
    return true;
}

bool EntropyCoder::Build(uint32_t node, uint32_t first, uint32_t count, uint64_t sum, uint64_t code,
                         int depth) {
    if (count == 1) {
        tree[node].value = srt[first].symbol;
        tree[node].children[0] = 0;
        tree[node].children[1] = 0;
        maxDepth = std::max(maxDepth, static_cast<uint32_t>(depth));
        if (val2code != nullptr) {
            codeTooLong = codeTooLong || depth > 32;
            val2code[2 * uint64_t(first)] = static_cast<uint32_t>(code);
            val2code[2 * uint64_t(first) + 1] = static_cast<uint32_t>(depth);
        }
        return true;
    }
    if (count < 1) {
        return true;
    }
    // Deeper trees only come from damaged tables; the bound also keeps the recursion and
    // the code shifts below small.
    if (depth >= StreamFormat::MaxCodeDepth) {
        return false;
    }
    const uint64_t half = sum >> 1;
    uint64_t running = 0;
    uint32_t leftCount = count;
    uint64_t leftSum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t before = running;
        running += static_cast<uint64_t>(static_cast<int64_t>(srt[first + i].frequency));
        if (running >= half) {
            // Ties put the boundary entry on the left.
            const bool boundaryGoesLeft = running - half <= half - before;
            leftCount = boundaryGoesLeft ? i + 1 : i;
            leftSum = boundaryGoesLeft ? running : before;
            break;
        }
        leftSum = running;
    }
    // Only zero frequencies can leave a part empty, and an empty part has no code.
    if (leftCount == 0 || leftCount == count) {
        return false;
    }
    const uint32_t left = nextFreeNode++;
    const uint32_t right = nextFreeNode++;
    tree[node].children[0] = left;
    tree[node].children[1] = right;
    return Build(left, first, leftCount, leftSum, code, depth + 1) &&
           Build(right, first + leftCount, count - leftCount, sum - leftSum,
                 code | (uint64_t(1) << depth), depth + 1);
}

EntropyCoder::DecodeEntry EntropyCoder::Classify(uint32_t symbol) const {
    const int32_t item = static_cast<int32_t>(symbol + static_cast<uint32_t>(bias));
    if (item >= 0) {
        return {static_cast<uint32_t>(item) + static_cast<uint32_t>(base), 0, ItemKind::Literal, 0};
    }
    return {0u - static_cast<uint32_t>(item), 0, ItemKind::Run, 0};
}

namespace {

struct SubtreeShape {
    uint32_t depth;
    uint64_t leaves;
};

SubtreeShape shapeOf(const EntropyCoder::Node* tree, uint32_t node) {
    if (tree[node].children[0] == 0) {
        return {0, 1};
    }
    const SubtreeShape left = shapeOf(tree, tree[node].children[0]);
    const SubtreeShape right = shapeOf(tree, tree[node].children[1]);
    return {1 + std::max(left.depth, right.depth), left.leaves + right.leaves};
}

} // namespace

uint32_t EntropyCoder::SubtableBits(uint32_t node) const {
    // As deep as the subtree, but no wider than its leaves need: a lopsided subtree would
    // otherwise cost 2^depth entries for a handful of codes.
    const SubtreeShape shape = shapeOf(tree, node);
    return std::min({shape.depth, StreamFormat::bitLength(shape.leaves) + 1, DecodeTableBits});
}

uint64_t EntropyCoder::SubtableEntries(uint32_t node, uint32_t depth) const {
    if (tree[node].children[0] == 0) {
        return 0;
    }
    if (depth == tableBits) {
        return uint64_t(1) << SubtableBits(node);
    }
    return SubtableEntries(tree[node].children[0], depth + 1) +
           SubtableEntries(tree[node].children[1], depth + 1);
}

void EntropyCoder::FillDecodeTable(DecodeEntry* entries, uint32_t bits, uint32_t node,
                                   uint32_t code, uint32_t depth, bool firstLevel) {
    const Node& here = tree[node];
    DecodeEntry entry{node, static_cast<uint8_t>(depth), ItemKind::Walk, 0};
    if (here.children[0] == 0) {
        entry = Classify(here.value);
        entry.length = static_cast<uint8_t>(depth);
    } else if (depth < bits) {
        FillDecodeTable(entries, bits, here.children[0], code, depth + 1, firstLevel);
        FillDecodeTable(entries, bits, here.children[1], code | (uint32_t(1) << depth), depth + 1,
                        firstLevel);
        return;
    } else if (firstLevel) {
        const uint32_t subtableBits = SubtableBits(node);
        const uint64_t start = tableUsed;
        tableUsed += uint64_t(1) << subtableBits;
        FillDecodeTable(table + start, subtableBits, node, 0, 0, false);
        entry = {static_cast<uint32_t>(start), static_cast<uint8_t>(depth), ItemKind::Subtable,
                 static_cast<uint8_t>(subtableBits)};
    }
    for (uint32_t index = code; index < (uint32_t(1) << bits); index += uint32_t(1) << depth) {
        entries[index] = entry;
    }
}

uint32_t EntropyCoder::Pack(const DecodeEntry& entry) const {
    const uint32_t length = entry.length;
    if (entry.kind == ItemKind::Literal) {
        const uint32_t item = entry.value - static_cast<uint32_t>(base);
        if (item < PackedPayloadLimit) {
            return length | (PackedLiteral << 5) | (item << 7);
        }
    } else if (entry.kind == ItemKind::Subtable && entry.value < PackedStartLimit) {
        return length | (PackedSubtable << 5) | (uint32_t(entry.subtableBits) << 7) |
               (entry.value << 11);
    }
    return length | (PackedOther << 5);
}

bool EntropyCoder::BuildDecodeTable() {
    delete[] table;
    table = nullptr;
    delete[] packedTable;
    packedTable = nullptr;
    if (width > DecodeTableBits) {
        return true;
    }
    tableBits = width != 0 ? width : std::min(maxDepth, DecodeTableBits);
    const uint64_t first = uint64_t(1) << tableBits;
    const uint64_t entries = width != 0 ? first : first + SubtableEntries(0, 0);
    if (!newArray(table, entries) || !newArray(packedTable, entries)) {
        return false;
    }
    if (width != 0) {
        for (uint32_t symbol = 0; symbol < first; ++symbol) {
            table[symbol] = Classify(symbol);
            table[symbol].length = static_cast<uint8_t>(width);
        }
    } else {
        tableUsed = first;
        FillDecodeTable(table, tableBits, 0, 0, 0, true);
    }
    for (uint64_t e = 0; e < entries; ++e) {
        packedTable[e] = Pack(table[e]);
    }
    return true;
}

uint32_t EntropyCoder::WalkFrom(BitReader& bits, uint32_t node) const {
    // Build bounded the depth, so this ends after at most MaxCodeDepth bits.
    while (tree[node].children[0] != 0) {
        bits.Need(1);
        const uint64_t bit = bits.Peek() & 1;
        bits.Consume(1);
        node = tree[node].children[bit];
    }
    return node;
}

uint32_t EntropyCoder::DecodeValue() {
    const uint32_t symbol = width != 0 ? reader.Read(width) : tree[WalkFrom(reader, 0)].value;
    return symbol + static_cast<uint32_t>(bias);
}

bool EntropyCoder::BeginItems(int32_t itemBase) {
    base = itemBase;
    lastItem = 0;
    haveItem = false;
    pendingRun = 0;
    return BuildDecodeTable();
}

uint64_t EntropyCoder::FinishExpansion(const int32_t* out, uint64_t done, uint64_t end,
                                       const DecodeEntry* run) {
    if (end > done) {
        lastItem = out[end - 1];
        haveItem = true;
    }
    // A run with nothing before it stays unowed, which the caller reports.
    pendingRun = run != nullptr && haveItem ? run->value : 0;
    return end;
}

uint64_t EntropyCoder::ExpandLiterals(int32_t* out, uint64_t done, uint64_t count) {
    if (reader.IsFile()) {
        return done;
    }
    uint64_t buffer = 0;
    uint64_t bitCount = 0;
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;
    reader.Export(buffer, bitCount, next, end);
    const uint32_t* const entries = packedTable;
    const uint64_t mask = (uint64_t(1) << tableBits) - 1;
    const uint32_t itemBase = static_cast<uint32_t>(base);
    uint64_t i = done;
    // Everything lives in registers: no calls, and the loop leaves at the first item that
    // is not a literal of at most two lookups, or eight bytes before the end of the input.
    while (i < count && end - next >= 8) {
        buffer |= readLE64(next) << bitCount;
        next += (63 - bitCount) >> 3;
        bitCount |= 56;
        // A refill leaves 64 real bits in the buffer (the eight bytes loaded are all in the
        // input), so after three first-level entries 28 remain for a subtable lookup.
        uint32_t entry = entries[buffer & mask];
        int k = 0;
        for (; k < 3 && packedKind(entry) == PackedLiteral && i < count; ++k) {
            buffer >>= packedLength(entry);
            bitCount -= packedLength(entry);
            out[i++] = static_cast<int32_t>(packedPayload(entry) + itemBase);
            entry = entries[buffer & mask];
        }
        if (k == 3 || i == count) {
            continue;
        }
        if (packedKind(entry) != PackedSubtable) {
            break;
        }
        const uint32_t subtableBits = packedPayload(entry) & 15;
        const uint32_t length = packedLength(entry);
        const uint32_t second = entries[(packedPayload(entry) >> 4) +
                                        ((buffer >> length) & ((uint64_t(1) << subtableBits) - 1))];
        if (packedKind(second) != PackedLiteral) {
            break;
        }
        buffer >>= length + packedLength(second);
        bitCount -= length + packedLength(second);
        out[i++] = static_cast<int32_t>(packedPayload(second) + itemBase);
    }
    reader.Import(buffer, bitCount, next);
    return i;
}

uint64_t EntropyCoder::ExpandTable(int32_t* out, uint64_t done, uint64_t count) {
    const DecodeEntry* const entries = table;
    const uint64_t mask = (uint64_t(1) << tableBits) - 1;
    uint64_t i = done;
    DecodeEntry entry{};
    bool sawRun = false;
    while (i < count) {
        i = ExpandLiterals(out, i, count);
        if (i == count) {
            break;
        }
        // One item the fast loop left: a run, a long code, or the end of the input.
        reader.Need(2 * uint64_t(DecodeTableBits));
        entry = entries[reader.Peek() & mask];
        if (entry.kind == ItemKind::Subtable) {
            reader.Consume(entry.length);
            entry =
                entries[entry.value + (reader.Peek() & ((uint64_t(1) << entry.subtableBits) - 1))];
        }
        if (entry.kind == ItemKind::Walk) {
            reader.Consume(entry.length);
            entry = Classify(tree[WalkFrom(reader, entry.value)].value);
        }
        reader.Consume(entry.length);
        if (entry.kind != ItemKind::Literal) {
            sawRun = true;
            break;
        }
        out[i++] = static_cast<int32_t>(entry.value);
    }
    return FinishExpansion(out, done, i, sawRun ? &entry : nullptr);
}

uint64_t EntropyCoder::ExpandWide(int32_t* out, uint64_t done, uint64_t count) {
    const uint64_t mask = (uint64_t(1) << width) - 1;
    BitReader bits = reader;
    uint64_t i = done;
    DecodeEntry entry{};
    bool sawRun = false;
    while (i < count) {
        bits.Need(32);
        entry = Classify(static_cast<uint32_t>(bits.Peek() & mask));
        bits.Consume(width);
        if (entry.kind != ItemKind::Literal) {
            sawRun = true;
            break;
        }
        out[i++] = static_cast<int32_t>(entry.value);
    }
    reader = bits;
    return FinishExpansion(out, done, i, sawRun ? &entry : nullptr);
}

bool EntropyCoder::ExpandItems(int32_t* out, uint64_t count) {
    uint64_t done = 0;
    while (done < count) {
        if (pendingRun > 0) {
            const uint64_t copies = std::min(pendingRun, count - done);
            std::fill_n(out + done, copies, lastItem);
            done += copies;
            pendingRun -= copies;
            continue;
        }
        done = table != nullptr ? ExpandTable(out, done, count) : ExpandWide(out, done, count);
        if (done < count && pendingRun == 0) {
            logMessage("Codec stream refused: run marker before any value\n");
            return false;
        }
    }
    if (reader.Overrun()) {
        logMessage("Codec stream refused: items past the end of their input\n");
        return false;
    }
    return true;
}

bool EntropyCoder::SkipZeroRun(uint64_t count) {
    if (pendingRun < count || lastItem != 0) {
        return false;
    }
    pendingRun -= count;
    return true;
}

void EntropyCoder::FinishItems() {
    if (pendingRun > 0) {
        logMessage("DecodeAndExpand - constant sequence longer than expected\n");
        pendingRun = 0;
    }
}

bool EntropyCoder::DecodeAndExpand(int32_t* out, uint64_t count, int32_t itemBase) {
    if (!BeginItems(itemBase) || !ExpandItems(out, count)) {
        return false;
    }
    FinishItems();
    return true;
}
