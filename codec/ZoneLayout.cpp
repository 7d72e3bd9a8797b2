// SPDX-License-Identifier: Apache-2.0
#include "codec/ZoneLayout.h"

#include "codec/BlockDecoder.h"
#include "codec/ByteSource.h"
#include "codec/StreamFormat.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>

namespace {

// Output offset and input offset of one zone.
constexpr uint64_t ZoneEntryBytes = 8;

int megabytesFor(uint64_t bytes) {
    return static_cast<int>((bytes + (uint64_t(1) << 20) - 1) >> 20);
}

} // namespace

ZoneLayout::~ZoneLayout() {
    delete[] blocks;
}

bool ZoneLayout::Read(const uint8_t* tables, uint64_t sourceBytes, int blockAxes,
                      uint64_t outputCapacity) {
    delete[] blocks;
    blocks = nullptr;
    blockCount = 0;
    axes = blockAxes;
    capacity = outputCapacity;
    exhausted = false;
    // Counted first, so that the blocks take one allocation of their exact number.
    zonesLeft = sourceBytes / ZoneEntryBytes;
    if (!Walk(tables, sourceBytes, 0, 1, false)) {
        blockCount = 0;
        return false;
    }
    const uint64_t count = blockCount;
    if (count == 0) {
        return true;
    }
    if (!newArray(blocks, count)) {
        logMessage("Can't allocate %d MB for decompression",
                   megabytesFor(count * sizeof(ZoneBlock)));
        blockCount = 0;
        return false;
    }
    zonesLeft = sourceBytes / ZoneEntryBytes;
    blockCount = 0;
    Walk(tables, sourceBytes, 0, 1, true);
    RefuseOverlaps();
    return true;
}

bool ZoneLayout::Walk(const uint8_t* tables, uint64_t sourceBytes, uint64_t outputBase, int depth,
                      bool fill) {
    // The outermost table is checked in the counting walk, inner ones in the filling walk,
    // so that each refusal is logged once.
    const bool report = fill || depth == 1;
    const uint32_t zoneCount = sourceBytes >= 2 ? readLE16(tables) : 0;
    const uint64_t tableBytes = 2 + ZoneEntryBytes * zoneCount;
    if (sourceBytes < tableBytes) {
        if (report) {
            logMessage("Codec stream refused: zone table past the end of its input\n");
        }
        return false;
    }
    if (zoneCount > zonesLeft) {
        // Only tables read more than once can list more zones than the input has bytes
        // for; left alone, nesting would multiply them beyond any bound.
        logMessage("Codec stream refused: zone tables list more zones than their input holds\n");
        zonesLeft = 0;
        exhausted = true;
        return false;
    }
    zonesLeft -= zoneCount;
    const uint8_t* const streams = tables + tableBytes;
    const uint64_t streamBytes = sourceBytes - tableBytes;
    for (uint32_t i = 0; i < zoneCount && !exhausted; ++i) {
        const int32_t outputOffset = static_cast<int32_t>(readLE32(tables + 2 + 4 * uint64_t(i)));
        const int32_t inputOffset =
            static_cast<int32_t>(readLE32(tables + 2 + 4 * (uint64_t(zoneCount) + i)));
        // Offsets outside the input or the output cost only their own zone.
        if (outputOffset < 0 || inputOffset < 0 || uint64_t(inputOffset) >= streamBytes ||
            outputBase + uint64_t(outputOffset) > capacity) {
            continue;
        }
        Place(streams + inputOffset, streamBytes - uint64_t(inputOffset),
              outputBase + uint64_t(outputOffset), depth, fill);
    }
    return !exhausted;
}

void ZoneLayout::Place(const uint8_t* source, uint64_t sourceBytes, uint64_t outputOffset,
                       int depth, bool fill) {
    ByteSource stream = ByteSource::FromMemory(source, sourceBytes);
    uint8_t magic[2];
    if (!stream.Read(magic, 2)) {
        return;
    }
    if (readLE16(magic) == StreamFormat::StreamMagicSingle) {
        if (fill) {
            ZoneBlock& block = blocks[blockCount];
            block = {source, sourceBytes, outputOffset, 0, false};
            block.valid = readBlockElements(stream, axes, capacity - outputOffset, block.elements);
        }
        ++blockCount;
        return;
    }
    if (readLE16(magic) != StreamFormat::StreamMagicZones) {
        return;
    }
    // The bound keeps crafted nesting from exhausting the stack.
    if (depth >= StreamFormat::MaxZoneDepth) {
        if (fill) {
            logMessage("Codec stream refused: zone containers nested deeper than %d levels\n",
                       StreamFormat::MaxZoneDepth);
        }
        return;
    }
    Walk(source + 2, sourceBytes - 2, outputOffset, depth + 1, fill);
}

void ZoneLayout::RefuseOverlaps() {
    std::sort(blocks, blocks + blockCount, [](const ZoneBlock& a, const ZoneBlock& b) {
        return a.outputOffset < b.outputOffset;
    });
    // In offset order, a block overlaps an earlier one exactly when it starts before the
    // furthest end so far; the block reaching that end overlaps it too. Both are refused,
    // so the outcome does not depend on the order of the tables.
    const ZoneBlock* reach = nullptr;
    uint64_t reachEnd = 0;
    uint64_t refused = 0;
    for (uint64_t i = 0; i < blockCount; ++i) {
        ZoneBlock& block = blocks[i];
        if (!block.valid || block.elements == 0) {
            continue;
        }
        if (reach != nullptr && block.outputOffset < reachEnd) {
            ZoneBlock& earlier = blocks[reach - blocks];
            refused += (earlier.valid ? 1 : 0) + 1;
            earlier.valid = false;
            block.valid = false;
        }
        const uint64_t end = block.outputOffset + block.elements;
        if (reach == nullptr || end > reachEnd) {
            reach = &block;
            reachEnd = end;
        }
    }
    if (refused > 0) {
        logMessage("Codec stream refused: %.0f zones that overlap others\n",
                   static_cast<double>(refused));
    }
}

void ZoneLayout::ZeroUncovered(float* output) const {
    uint64_t covered = 0;
    for (uint64_t i = 0; i < blockCount; ++i) {
        const ZoneBlock& block = blocks[i];
        if (!block.valid || block.elements == 0) {
            continue;
        }
        if (block.outputOffset > covered) {
            std::fill(output + covered, output + block.outputOffset, 0.0f);
        }
        covered = std::max(covered, block.outputOffset + block.elements);
    }
    if (capacity > covered) {
        std::fill(output + covered, output + capacity, 0.0f);
    }
}

uint64_t ZoneLayout::End() const {
    uint64_t end = 0;
    for (uint64_t i = 0; i < blockCount; ++i) {
        if (blocks[i].valid) {
            end = std::max(end, blocks[i].outputOffset + blocks[i].elements);
        }
    }
    return end;
}

void decodeZoneBlock(const ZoneBlock& block, int axes, float* output) {
    if (!block.valid || block.elements == 0) {
        return;
    }
    ByteSource stream = ByteSource::FromMemory(block.source + 2, block.sourceBytes - 2);
    float* const out = output + block.outputOffset;
    if (decodeSingleBlock(stream, axes, out, block.elements) == 0) {
        std::fill_n(out, block.elements, 0.0f);
    }
}
