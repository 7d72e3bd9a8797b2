// SPDX-License-Identifier: Apache-2.0
// The bit-level symbol coder of codec streams: a fixed-width form, or a Shannon-Fano code
// built from a stored frequency table. Decoding goes through a lookup table on the next
// DecodeTableBits bits and walks the tree only for longer codes; both give what a walk
// of the tree bit by bit gives.
#pragma once

#include "codec/BitReader.h"
#include "codec/BitWriter.h"

#include <cstdint>
#include <cstdio>

class SymbolEntries;

// Fields:
//   width         fixed-width form: bits per symbol (1..32); 0 in table form
//   symbolCount   table form: entries in srt
//   bias          added (wrapping) to every symbol
//   val2code      encoding only: (code bits, code length) per table entry, as pairs of u32
//   srt           table form: (symbol, frequency) in code order
//   tree          table form: 2 * symbolCount nodes, root at 0; children[0] == 0 marks a
//                 leaf (the root is never a child)
//   nextFreeNode  first unused node while the tree is built
//   maxDepth      longest code in the tree
//   codeTooLong   encoding: a code is longer than val2code's 32 bits can hold
//   reader        the coder stream; it keeps its position across DecodeValue calls
//   table         item decoding: entry per value of the next tableBits bits, then the
//                 second-level tables of codes longer than tableBits
//   packedTable   the same entries in four bytes for the literal loop; what does not fit
//                 four bytes is marked for the full table
//   tableUsed     entries of table handed out while it is filled
//   base          item decoding: added to every literal
//   lastItem      item decoding: the last integer written, repeated by run markers
//   haveItem      item decoding: lastItem is valid (a stream may not open with a run)
//   pendingRun    item decoding: copies of lastItem still owed
//   writer        encoding: the coder stream being written
class EntropyCoder {
public:
    struct SymbolFrequency {
        uint32_t symbol;
        int32_t frequency;
    };
    struct Node {
        uint32_t value;
        uint32_t children[2];
    };
    enum class ItemKind : uint8_t { Literal, Run, Subtable, Walk };
    // What the next bits of the stream stand for. value is the integer to write for a
    // literal, the repeat count for a run, the first entry of the second-level table of
    // subtableBits bits for a subtable, the node to walk on from for a walk. length is
    // the bits the entry accounts for.
    struct DecodeEntry {
        uint32_t value;
        uint8_t length;
        ItemKind kind;
        uint8_t subtableBits;
    };

    EntropyCoder() = default;
    ~EntropyCoder();
    EntropyCoder(const EntropyCoder&) = delete;
    EntropyCoder& operator=(const EntropyCoder&) = delete;

    /// Reads the coder header and table at source (bytes, or a FILE* when fromFile), at
    /// most sourceBytes of them, and builds the code. False for a malformed header or
    /// table, or when the tables cannot be allocated; the coder must then not be used.
    bool InitDecoder(const void* source, bool fromFile, uint64_t sourceBytes);
    /// The same on a ByteSource; a table of more than maxSymbolCount entries is refused.
    bool InitDecoder(const ByteSource& source, uint64_t maxSymbolCount);

    /// Next symbol plus bias, without run interpretation. Reads zero bits past the end;
    /// HasOverrun() tells.
    uint32_t DecodeValue();
    bool HasOverrun() const { return reader.Overrun(); }
    /// True when every symbol decodes from zero bits: a table of one entry.
    bool ReadsNoBits() const { return width == 0 && symbolCount == 1; }

    /// Writes count integers: literals plus base, runs expanded. False for a stream that
    /// opens with a run marker or runs past its input.
    bool DecodeAndExpand(int32_t* out, uint64_t count, int32_t base);

    // DecodeAndExpand in pieces, so that a caller can consume the integers row by row.
    bool BeginItems(int32_t base);
    bool ExpandItems(int32_t* out, uint64_t count);
    // True when the next count integers are all 0 from one run; they are then taken
    // without being written.
    bool SkipZeroRun(uint64_t count);
    // Logs when a run asked for more integers than were taken.
    void FinishItems();

    /// Writes a coder stream for the items; returns its size in bytes, 0 on failure.
    uint64_t Encode(const int32_t* items, uint64_t itemCount);
    /// The same for items stored itemOffset above their values (wrapping), whose smallest
    /// and largest values the caller knows (0 and 0 when there are none).
    uint64_t Encode(const int32_t* items, uint64_t itemCount, int32_t minimum, int32_t maximum,
                    int32_t itemOffset);
    /// Appends the low bitCount (<= 32) bits of value; false at the buffer limit.
    bool WriteWord(uint64_t value, uint32_t bitCount) { return writer.Write(value, bitCount); }
    const uint8_t* OutputData() const { return writer.Data(); }
    uint64_t OutputBytes() const { return writer.ByteCount(); }

    /// Folds every run of more than minimumRun equal values after the first into the value
    /// and a run marker; in and out may be the same array. Returns the items written.
    static uint64_t RunLengthPack(const int32_t* in, int32_t* out, uint64_t count,
                                  int32_t minimumRun);

private:
    void FreeTables();
    bool ReadTable(uint64_t maxSymbolCount);
    bool Build(uint32_t node, uint32_t first, uint32_t count, uint64_t sum, uint64_t code,
               int depth);
    bool BuildDecodeTable();
    void FillDecodeTable(DecodeEntry* entries, uint32_t bits, uint32_t node, uint32_t code,
                         uint32_t depth, bool firstLevel);
    uint32_t SubtableBits(uint32_t node) const;
    uint64_t SubtableEntries(uint32_t node, uint32_t depth) const;
    DecodeEntry Classify(uint32_t symbol) const;
    uint32_t Pack(const DecodeEntry& entry) const;
    uint32_t WalkFrom(BitReader& bits, uint32_t node) const;
    uint64_t ExpandLiterals(int32_t* out, uint64_t done, uint64_t count);
    uint64_t ExpandTable(int32_t* out, uint64_t done, uint64_t count);
    uint64_t ExpandWide(int32_t* out, uint64_t done, uint64_t count);
    // Records the last integer written and the run that stopped the expansion, if any.
    uint64_t FinishExpansion(const int32_t* out, uint64_t done, uint64_t end,
                             const DecodeEntry* run);

    // What Encode codes: item i stands for items[i] - origin + minimum, its symbol is
    // items[i] - origin (both wrapping), and minimum is the stream's bias.
    struct Items {
        const int32_t* items;
        uint64_t count;
        int32_t minimum;
        int32_t origin;
    };
    enum class TableOutcome { Written, TooLarge, OutOfMemory };
    TableOutcome EncodeTable(const Items& coded, uint64_t range, uint32_t bitWidth,
                             uint64_t directBytes);
    void EncodeFixedWidth(const Items& coded, uint32_t bitWidth);
    bool WriteTable(const Items& coded, uint32_t bitWidth, SymbolEntries& symbols);

    uint32_t width = 0;
    uint32_t symbolCount = 0;
    int32_t bias = 0;
    uint32_t* val2code = nullptr;
    SymbolFrequency* srt = nullptr;
    Node* tree = nullptr;
    uint32_t nextFreeNode = 0;
    uint32_t maxDepth = 0;
    bool codeTooLong = false;
    BitReader reader;

    DecodeEntry* table = nullptr;
    uint32_t* packedTable = nullptr;
    uint32_t tableBits = 0;
    uint64_t tableUsed = 0;
    int32_t base = 0;
    int32_t lastItem = 0;
    bool haveItem = false;
    uint64_t pendingRun = 0;

    BitWriter writer;
};
