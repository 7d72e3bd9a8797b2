// SPDX-License-Identifier: Apache-2.0
// The walk reads masks, counts and block headers, decompresses the value blocks of internal
// nodes and of bool trees and seeks over the other payloads, through a window of its own: an
// istream seek drops the stream's buffer, and a tree has tens of thousands of small blocks.
// Buffers are read leaf by leaf in the order OpenVDB's root table iterates (sorted by
// origin), which is not the order the topology stores them in.
#include "plugins/vdbbridge/VdbTreeCheck.h"

#include "support/ByteOrder.h"

#include <algorithm>
#include <blosc.h>
#include <cstring>
#include <memory>
#include <openvdb/io/Compression.h>
#include <openvdb/openvdb.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace vdbbridge {

namespace {

using openvdb::Coord;

// File versions at which OpenVDB changed how nodes are stored.
constexpr uint32_t RootNodeMapVersion = openvdb::OPENVDB_FILE_VERSION_ROOTNODE_MAP;
constexpr uint32_t InternalCompressionVersion =
    openvdb::OPENVDB_FILE_VERSION_INTERNALNODE_COMPRESSION;
constexpr uint32_t BoolLeafBitsVersion = openvdb::OPENVDB_FILE_VERSION_BOOL_LEAF_OPTIMIZATION;
constexpr uint32_t NodeMaskCompressionVersion = openvdb::OPENVDB_FILE_VERSION_NODE_MASK_COMPRESSION;

// The standard tree: the root's children span 4096 voxels, their children 128, leaves 8.
constexpr int UpperLog2Dim = 5;
constexpr int LowerLog2Dim = 4;
constexpr int LeafLog2Dim = 3;
constexpr int32_t UpperSpan = 1 << (UpperLog2Dim + LowerLog2Dim + LeafLog2Dim);
constexpr uint32_t LeafValues = 1u << (3 * LeafLog2Dim);
constexpr uint32_t LeafMaskBytes = LeafValues / 8;

// The per-block layouts that io::readCompressedValues knows (its metadata byte).
constexpr int8_t OneInactiveValue = openvdb::io::NO_MASK_AND_ONE_INACTIVE_VAL;
constexpr int8_t MaskNoInactiveValue = openvdb::io::MASK_AND_NO_INACTIVE_VALS;
constexpr int8_t MaskOneInactiveValue = openvdb::io::MASK_AND_ONE_INACTIVE_VAL;
constexpr int8_t MaskTwoInactiveValues = openvdb::io::MASK_AND_TWO_INACTIVE_VALS;
constexpr int8_t AllValues = openvdb::io::NO_MASK_AND_ALL_VALS;

[[noreturn]] void refuse(const std::string& what) {
    OPENVDB_THROW(openvdb::IoError, what);
}

bool isOn(const uint8_t* mask, uint32_t index) {
    return ((mask[index >> 3] >> (index & 7)) & 1) != 0;
}

uint32_t countOn(const uint8_t* mask, uint32_t maskBytes) {
    uint32_t count = 0;
    for (uint32_t byte = 0; byte < maskBytes; byte += 8) {
        count += static_cast<uint32_t>(__builtin_popcountll(readLE64(mask + byte)));
    }
    return count;
}

// A forward cursor over the file: reads are served from a window, skips only move the
// position. Every read and skip is checked against the file size first.
class FileCursor {
public:
    FileCursor(std::istream& input, std::streamoff inputBytes)
        : stream(input), fileBytes(inputBytes), window(new char[WindowBytes]) {
        position = stream.tellg();
        if (position < 0 || position > fileBytes) {
            refuse("tree position beyond the end of the file");
        }
    }

    uint64_t Remaining() const { return static_cast<uint64_t>(fileBytes - position); }

    void Read(void* out, uint64_t bytes, const char* what) {
        Need(bytes, what);
        char* target = static_cast<char*>(out);
        while (bytes > 0) {
            if (position < windowStart || position >= windowStart + windowFill) {
                Fill();
            }
            const uint64_t offset = static_cast<uint64_t>(position - windowStart);
            const uint64_t n = std::min(bytes, static_cast<uint64_t>(windowFill) - offset);
            std::memcpy(target, window.get() + offset, n);
            target += n;
            bytes -= n;
            position += static_cast<std::streamoff>(n);
        }
    }

    void Skip(uint64_t bytes, const char* what) {
        Need(bytes, what);
        position += static_cast<std::streamoff>(bytes);
    }

    uint32_t Word(const char* what) {
        uint8_t bytes[4];
        Read(bytes, sizeof bytes, what);
        return readLE32(bytes);
    }

    Coord ReadCoord(const char* what) {
        uint8_t bytes[12];
        Read(bytes, sizeof bytes, what);
        return Coord(static_cast<int32_t>(readLE32(bytes)),
                     static_cast<int32_t>(readLE32(bytes + 4)),
                     static_cast<int32_t>(readLE32(bytes + 8)));
    }

    // Hands the stream to read at the cursor's position and continues where it was left.
    void Lend(const std::function<void(std::istream&)>& read) {
        Place();
        read(stream);
        const std::streamoff next = stream.good() ? std::streamoff(stream.tellg()) : -1;
        if (next < position || next > fileBytes) {
            refuse("unreadable transform between topology and buffers");
        }
        position = next;
        windowFill = 0;
    }

    // Leaves the stream at the cursor's position.
    void Place() {
        stream.clear();
        stream.seekg(position);
    }

private:
    static constexpr std::streamoff WindowBytes = 1 << 16;

    void Need(uint64_t bytes, const char* what) const {
        if (bytes > Remaining()) {
            refuse(std::string(what) + " beyond the end of the file");
        }
    }

    void Fill() {
        Place();
        const std::streamoff want = std::min(WindowBytes, fileBytes - position);
        stream.read(window.get(), want);
        if (stream.gcount() != want) {
            refuse("file cut short");
        }
        windowStart = position;
        windowFill = want;
    }

    std::istream& stream;
    std::streamoff fileBytes;
    std::streamoff position = 0;
    std::unique_ptr<char[]> window;
    std::streamoff windowStart = 0;
    std::streamoff windowFill = 0;
};

// A leaf as the topology gave it: where it sits and which voxels are active.
struct LeafRecord {
    Coord origin;
    uint8_t mask[LeafMaskBytes];
};

// A child of the root and the range of its leaves, in depth-first order.
struct Branch {
    Coord origin;
    size_t firstLeaf;
    size_t endLeaf;
};

class TreeWalk {
public:
    TreeWalk(FileCursor& input, const VdbStoredValues& storedValues)
        : cursor(input), values(storedValues) {
        if (values.fileVersion < RootNodeMapVersion) {
            refuse("trees of files before format version 213 are not read");
        }
        if (values.boolValues && values.fileVersion < BoolLeafBitsVersion) {
            refuse("bool trees of files before format version 217 are not read");
        }
    }

    void Topology() {
        inTopology = true;
        (void)cursor.Word("tree buffer count");
        Value("background");
        const uint32_t tileCount = cursor.Word("root tile count");
        const uint32_t childCount = cursor.Word("root child count");
        // A tile takes its origin, value and flag; a child at least its origin and masks.
        const uint64_t tileBytes = 12 + values.valueBytes + 1;
        const uint64_t childBytes = 12 + 2 * MaskBytes(UpperLog2Dim);
        if (tileCount > cursor.Remaining() / tileBytes ||
            childCount > cursor.Remaining() / childBytes) {
            refuse("root table beyond the end of the file");
        }
        std::vector<Coord> keys;
        keys.reserve(size_t{tileCount} + childCount);
        for (uint32_t t = 0; t < tileCount; ++t) {
            keys.push_back(RootOrigin("root tile"));
            Value("root tile value");
            uint8_t active = 0;
            cursor.Read(&active, 1, "root tile");
            if (active > 1) {
                refuse("root tile with an active flag other than 0 or 1");
            }
        }
        for (uint32_t c = 0; c < childCount; ++c) {
            const Coord origin = RootOrigin("root child");
            keys.push_back(origin);
            const size_t firstLeaf = leaves.size();
            Internal(UpperLog2Dim, origin);
            branches.push_back({origin, firstLeaf, leaves.size()});
        }
        std::sort(keys.begin(), keys.end());
        if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) {
            refuse("two root entries at one origin");
        }
        inTopology = false;
    }

    // OpenVDB reads the buffers of the root's children in the order of its table, which is
    // sorted by origin; below the root both passes take children in the same order.
    void Buffers() {
        std::sort(branches.begin(), branches.end(),
                  [](const Branch& a, const Branch& b) { return a.origin < b.origin; });
        for (const Branch& branch : branches) {
            for (size_t leaf = branch.firstLeaf; leaf < branch.endLeaf; ++leaf) {
                LeafBuffer(leaves[leaf]);
            }
        }
    }

private:
    static uint32_t MaskBytes(int log2Dim) { return (1u << (3 * log2Dim)) / 8; }

    Coord RootOrigin(const char* what) {
        const Coord origin = cursor.ReadCoord(what);
        for (int axis = 0; axis < 3; ++axis) {
            if ((origin[axis] & (UpperSpan - 1)) != 0) {
                refuse(std::string(what) + " off the root's grid of nodes");
            }
        }
        return origin;
    }

    // One value as the nodes hold it, outside any value block.
    void Value(const char* what) {
        uint8_t bytes[32];
        cursor.Read(bytes, values.valueBytes, what);
        CheckBools(bytes, values.valueBytes);
    }

    void CheckBools(const uint8_t* bytes, uint64_t count) const {
        if (!values.boolValues) {
            return;
        }
        for (uint64_t i = 0; i < count; ++i) {
            if (bytes[i] > 1) {
                refuse("bool value other than 0 or 1");
            }
        }
    }

    void Internal(int log2Dim, const Coord& origin) {
        const uint32_t valueCount = 1u << (3 * log2Dim);
        const uint32_t maskBytes = MaskBytes(log2Dim);
        std::vector<uint8_t> childMask(maskBytes);
        std::vector<uint8_t> valueMask(maskBytes);
        cursor.Read(childMask.data(), maskBytes, "internal node child mask");
        cursor.Read(valueMask.data(), maskBytes, "internal node value mask");
        // A slot holds a child or a value; OpenVDB would read a child pointer as a value.
        for (uint32_t byte = 0; byte < maskBytes; ++byte) {
            if ((childMask[byte] & valueMask[byte]) != 0) {
                refuse("internal node slot marked both child and active value");
            }
        }
        const auto child = [&](uint32_t index) {
            const int childTotal =
                log2Dim == UpperLog2Dim ? LowerLog2Dim + LeafLog2Dim : LeafLog2Dim;
            const int32_t last = (1 << log2Dim) - 1;
            const Coord local(static_cast<int32_t>(index >> (2 * log2Dim)),
                              static_cast<int32_t>(index >> log2Dim) & last,
                              static_cast<int32_t>(index) & last);
            const Coord childOrigin = origin + (local << childTotal);
            if (log2Dim == UpperLog2Dim) {
                Internal(LowerLog2Dim, childOrigin);
            } else {
                Leaf(childOrigin);
            }
        };
        if (values.fileVersion < InternalCompressionVersion) {
            for (uint32_t i = 0; i < valueCount; ++i) {
                if (isOn(childMask.data(), i)) {
                    child(i);
                } else {
                    Value("internal node value");
                }
            }
            return;
        }
        const uint32_t storedValues = values.fileVersion < NodeMaskCompressionVersion
                                          ? valueCount - countOn(childMask.data(), maskBytes)
                                          : valueCount;
        CompressedValues(storedValues, valueMask.data(), maskBytes);
        for (uint32_t i = 0; i < valueCount; ++i) {
            if (isOn(childMask.data(), i)) {
                child(i);
            }
        }
    }

    void Leaf(const Coord& origin) {
        leaves.emplace_back();
        LeafRecord& leaf = leaves.back();
        leaf.origin = origin;
        cursor.Read(leaf.mask, LeafMaskBytes, "leaf mask");
    }

    // What OpenVDB reads of a leaf's buffer. The buffer repeats the mask (OpenVDB reads
    // one copy or the other depending on the stream) and, in older files, the origin,
    // which OpenVDB takes over: both must agree with the topology.
    void LeafBuffer(const LeafRecord& leaf) {
        uint8_t mask[LeafMaskBytes];
        cursor.Read(mask, LeafMaskBytes, "leaf buffer mask");
        if (std::memcmp(mask, leaf.mask, LeafMaskBytes) != 0) {
            refuse("leaf buffer mask differs from the topology");
        }
        const bool storesOrigin =
            values.boolValues || values.fileVersion < NodeMaskCompressionVersion;
        if (storesOrigin && cursor.ReadCoord("leaf origin") != leaf.origin) {
            refuse("leaf origin differs from its place in the tree");
        }
        if (values.boolValues) {
            cursor.Skip(LeafMaskBytes, "bool leaf values");
            return;
        }
        int8_t bufferCount = 1;
        if (values.fileVersion < NodeMaskCompressionVersion) {
            cursor.Read(&bufferCount, 1, "leaf buffer count");
        }
        CompressedValues(LeafValues, leaf.mask, LeafMaskBytes);
        // Auxiliary buffers of old files: whole, zipped or raw, never mask compressed.
        const uint32_t auxiliaryCompression = values.compression & openvdb::io::COMPRESS_ZIP;
        for (int b = 1; b < bufferCount; ++b) {
            Block(LeafValues * BlockValueBytes(), auxiliaryCompression);
        }
    }

    uint32_t BlockValueBytes() const {
        return values.halfFloat ? (values.vectorValues ? 6 : 2) : values.valueBytes;
    }

    // io::readCompressedValues: a layout byte, inactive values, a selection mask, then the
    // values themselves: all of them, or with active-mask compression only the active ones.
    void CompressedValues(uint32_t valueCount, const uint8_t* mask, uint32_t maskBytes) {
        int8_t layout = AllValues;
        if (values.fileVersion >= NodeMaskCompressionVersion) {
            cursor.Read(&layout, 1, "value block layout");
            if (layout < 0 || layout > AllValues) {
                refuse("unknown value block layout");
            }
        }
        if (layout == OneInactiveValue || layout == MaskOneInactiveValue ||
            layout == MaskTwoInactiveValues) {
            Value("inactive value");
            if (layout == MaskTwoInactiveValues) {
                Value("inactive value");
            }
        }
        if (layout == MaskNoInactiveValue || layout == MaskOneInactiveValue ||
            layout == MaskTwoInactiveValues) {
            cursor.Skip(maskBytes, "selection mask");
        }
        uint32_t storedCount = valueCount;
        if ((values.compression & openvdb::io::COMPRESS_ACTIVE_MASK) != 0 && layout != AllValues &&
            values.fileVersion >= NodeMaskCompressionVersion) {
            storedCount = countOn(mask, maskBytes);
        }
        // Half floats are read through a reader that reads nothing for no values.
        if (values.halfFloat && storedCount == 0) {
            return;
        }
        Block(uint64_t{storedCount} * BlockValueBytes(), values.compression);
    }

    // io::readData: Blosc wins over zip; either stores a signed size first, negative for
    // a block kept uncompressed.
    void Block(uint64_t bytes, uint32_t compression) {
        if ((compression & openvdb::io::COMPRESS_BLOSC) != 0) {
            Chunk(bytes, true);
        } else if ((compression & openvdb::io::COMPRESS_ZIP) != 0) {
            Chunk(bytes, false);
        } else {
            RawValues(bytes);
        }
    }

    void RawValues(uint64_t bytes) {
        if (!values.boolValues) {
            cursor.Skip(bytes, "value block");
            return;
        }
        std::vector<uint8_t> stored(bytes);
        cursor.Read(stored.data(), bytes, "value block");
        CheckBools(stored.data(), bytes);
    }

    void Chunk(uint64_t bytes, bool blosc) {
        uint8_t sizeBytes[8];
        cursor.Read(sizeBytes, sizeof sizeBytes, "value block size");
        const int64_t storedBytes = static_cast<int64_t>(readLE64(sizeBytes));
        if (storedBytes <= 0) {
            // OpenVDB reads the stated size into the node's buffer before comparing it.
            if (storedBytes == INT64_MIN || static_cast<uint64_t>(-storedBytes) != bytes) {
                refuse("uncompressed value block of the wrong size");
            }
            RawValues(bytes);
            return;
        }
        // OpenVDB allocates the stated size before reading it.
        const uint64_t compressedBytes = static_cast<uint64_t>(storedBytes);
        if (compressedBytes > cursor.Remaining()) {
            refuse("compressed value block beyond the end of the file");
        }
        if (blosc) {
            BloscChunk(compressedBytes, bytes);
        } else {
            ZipChunk(compressedBytes, bytes);
        }
    }

    // A block that OpenVDB fails to decompress while it reads the topology costs the node it
    // was reading: the root takes a child only once the child's topology is read, so an
    // exception leaks the child and everything below it. Such blocks, and bool blocks (whose
    // bytes must be 0 or 1), are decompressed here; others are only sized.
    bool DecompressesHere() const { return inTopology || values.boolValues; }

    // Blosc trusts its header's sizes when it decompresses: they must describe this block.
    void BloscChunk(uint64_t compressedBytes, uint64_t bytes) {
        if (compressedBytes < BLOSC_MIN_HEADER_LENGTH) {
            refuse("broken Blosc value block");
        }
        std::vector<uint8_t> stored(DecompressesHere() ? compressedBytes : BLOSC_MIN_HEADER_LENGTH);
        cursor.Read(stored.data(), stored.size(), "Blosc value block");
        size_t statedBytes = 0;
        if (blosc_cbuffer_validate(stored.data(), compressedBytes, &statedBytes) != 0 ||
            statedBytes != bytes) {
            refuse("broken Blosc value block");
        }
        if (!DecompressesHere()) {
            cursor.Skip(compressedBytes - stored.size(), "Blosc value block");
            return;
        }
        std::vector<uint8_t> decoded(bytes + 1);
        if (blosc_decompress_ctx(stored.data(), decoded.data(), bytes, 1) != int64_t(bytes)) {
            refuse("broken Blosc value block");
        }
        CheckBools(decoded.data(), bytes);
    }

    // zlib never writes past the size OpenVDB gives it.
    void ZipChunk(uint64_t compressedBytes, uint64_t bytes) {
        if (!DecompressesHere()) {
            cursor.Skip(compressedBytes, "zip value block");
            return;
        }
        std::vector<uint8_t> stored(compressedBytes);
        cursor.Read(stored.data(), compressedBytes, "zip value block");
        std::vector<uint8_t> decoded(bytes + 1);
        uLongf decodedBytes = static_cast<uLongf>(bytes);
        if (uncompress(decoded.data(), &decodedBytes, stored.data(),
                       static_cast<uLong>(compressedBytes)) != Z_OK ||
            decodedBytes != bytes) {
            refuse("broken zip value block");
        }
        CheckBools(decoded.data(), bytes);
    }

    FileCursor& cursor;
    const VdbStoredValues& values;
    std::vector<LeafRecord> leaves;
    std::vector<Branch> branches;
    bool inTopology = false;
};

} // namespace

void checkStoredTree(std::istream& stream, std::streamoff fileBytes, const VdbStoredValues& values,
                     const std::function<void(std::istream&)>& skipBetween) {
    if (values.valueBytes == 0 || values.valueBytes > 32) {
        refuse("grid of a value type the tree check does not know");
    }
    FileCursor cursor(stream, fileBytes);
    TreeWalk walk(cursor, values);
    walk.Topology();
    if (skipBetween) {
        cursor.Lend(skipBetween);
    }
    walk.Buffers();
    cursor.Place();
}

} // namespace vdbbridge
