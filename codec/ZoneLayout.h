// SPDX-License-Identifier: Apache-2.0
// Where the zones of a container write: its single blocks, with nested containers
// flattened, each placed by the elements its own header states. Blocks whose ranges
// overlap another's or leave the output are refused, so the others can be decoded in any
// order or in parallel, and every element that no block covers is zeroed.
#pragma once

#include <cstdint>

// One single block of a container.
// Fields:
//   source        the block's magic
//   sourceBytes   bytes from there to the end of the input of the container holding it
//   outputOffset  its first element in the output of the outermost container
//   elements      elements its header states
//   valid         false once refused: its range is then left to the zeroing
struct ZoneBlock {
    const uint8_t* source;
    uint64_t sourceBytes;
    uint64_t outputOffset;
    uint64_t elements;
    bool valid;
};

// Fields:
//   blocks       the blocks of every level, sorted by output offset; owned
//   blockCount   entries in blocks
//   axes         1 or 3, the data the blocks decode to
//   capacity     floats in the output
//   zonesLeft    zone entries the input may still list: each costs 8 bytes of table, so a
//                larger total means tables are read more than once
//   exhausted    the tables listed more zones than that; the container is refused
class ZoneLayout {
public:
    ZoneLayout() = default;
    ~ZoneLayout();
    ZoneLayout(const ZoneLayout&) = delete;
    ZoneLayout& operator=(const ZoneLayout&) = delete;

    /// Lays out the container whose zone count is at tables (just after its magic), with
    /// sourceBytes bytes of input from there, for an output of capacity floats. False
    /// when the container is refused as a whole (logged): its table runs past the input,
    /// its tables list more zones than the input holds, or memory runs out. Zones that
    /// fail alone (offsets outside the input or output, blocks that cannot be read,
    /// overlapping ranges, containers nested too deep) are only refused themselves.
    bool Read(const uint8_t* tables, uint64_t sourceBytes, int axes, uint64_t capacity);

    /// Writes 0 to every element of output[0, capacity) that no valid block covers.
    void ZeroUncovered(float* output) const;

    /// The element after the furthest valid block: 0 without any.
    uint64_t End() const;

    const ZoneBlock* Blocks() const { return blocks; }
    uint64_t BlockCount() const { return blockCount; }

private:
    // Visits the zones of the container at tables, placed at outputBase. Without fill the
    // blocks are only counted; with it they are stored from blockCount on.
    bool Walk(const uint8_t* tables, uint64_t sourceBytes, uint64_t outputBase, int depth,
              bool fill);
    void Place(const uint8_t* source, uint64_t sourceBytes, uint64_t outputOffset, int depth,
               bool fill);
    void RefuseOverlaps();

    ZoneBlock* blocks = nullptr;
    uint64_t blockCount = 0;
    int axes = 3;
    uint64_t capacity = 0;
    uint64_t zonesLeft = 0;
    bool exhausted = false;
};

/// Decodes one block of a layout into output, the outermost container's output. A block
/// that fails to decode is zeroed over its range, so the output never keeps stale data.
void decodeZoneBlock(const ZoneBlock& block, int axes, float* output);
