// SPDX-License-Identifier: Apache-2.0
// Grid channels on request: each slot is decoded once, under its own lock, and kept for
// the frame's life. Speed comes from the velocity slots and the colour slots from the
// packed colour when the file does not store them (Speed in SpeedChannel.cpp). Compiled
// without contraction, so that every product and sum rounds to float on its own.
#include "codec/InflateBlock.h"
#include "codec/SGCompressor.h"
#include "frame/FluxaFrameData.h"
#include "frame/RecordTable.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <cstdint>
#include <new>

namespace {

// Decoded arrays carry this many spare floats beyond the grid.
constexpr uint64_t SpareFloats = 4;

bool isColour(int channel) {
    return channel >= FluxaEnum::ColorR && channel <= FluxaEnum::ColorB;
}

// The packed colour must fill the whole grid: a stream that ends early would leave voxels
// unset.
bool inflatePackedColour(const RecordPayload& zlibBytes, float* out, int64_t voxels) {
    const uint64_t bytes = uint64_t(voxels) * 4;
    uint64_t produced = 0;
    return inflateBlock(zlibBytes.bytes, zlibBytes.byteCount, reinterpret_cast<uint8_t*>(out),
                        bytes, &produced) != 0 &&
           produced == bytes;
}

} // namespace

float* FluxaFrameData::getChannel(int channel) {
    // With a negative extent gx * gy * gz promises nothing an array could hold, and past
    // 2^31 - 1 voxels hosts could not index the array with an int: such a frame serves no
    // grid channel at all.
    const bool negativeExtent = gridSize[0] < 0 || gridSize[1] < 0 || gridSize[2] < 0;
    if (channel < 0 || channel > 31 || negativeExtent || voxelCount() > INT32_MAX) {
        return nullptr;
    }
    float* result = nullptr;
    {
        Platform::CriticalSectionGuard hold(channelLocks[channel]);
        if (channelData[channel] == nullptr) {
            const int64_t voxels = voxelCount();
            if (channel == FluxaEnum::PackedColor) {
                unpackColour(voxels);
            } else {
                decodeRecord(channel, voxels);
                if (channel == FluxaEnum::Speed && channelData[channel] == nullptr) {
                    deriveSpeed(voxels);
                }
            }
        }
        // The packed colour is internal: hosts never see it, even mid-unpack.
        result = channel == FluxaEnum::PackedColor ? nullptr : channelData[channel];
    }
    if (result == nullptr && isColour(channel)) {
        getChannel(FluxaEnum::PackedColor);
        result = lockedChannel(channel);
    }
    return result;
}

void FluxaFrameData::decodeRecord(int channel, int64_t voxels) {
    RecordPayload payload;
    const RecordLookup lookup = findRecord(recordTable, recordWords, channel, payload);
    if (lookup == RecordLookup::Missing) {
        return;
    }
    RecordPayload zlibBytes;
    // A colour record too short to fill the grid is refused before the grid's room is had.
    const bool usable = lookup == RecordLookup::Found &&
                        (channel != FluxaEnum::PackedColor ||
                         (packedColourStream(payload, zlibBytes) &&
                          uint64_t(voxels) <= maxInflatedBytes(zlibBytes.byteCount) / 4));
    float* out = nullptr;
    const uint64_t capacity = uint64_t(voxels) + SpareFloats;
    if (usable && !newArray(out, capacity)) {
        return;
    }
    bool decoded = false;
    if (usable) {
        if (channel == FluxaEnum::PackedColor) {
            decoded = inflatePackedColour(zlibBytes, out, voxels);
        } else {
            if (channelDecoder[channel] == nullptr) {
                channelDecoder[channel] = new (std::nothrow) SGCompressor<3>();
            }
            decoded = channelDecoder[channel] != nullptr &&
                      channelDecoder[channel]->Decompress(payload.bytes, out, false,
                                                          payload.byteCount, capacity) != 0;
        }
    }
    if (!decoded) {
        // The record stays: a later request tries again.
        logMessage("Invalid cache file!!!\n");
        delete[] out;
        return;
    }
    channelData[channel] = out;
}

void FluxaFrameData::unpackColour(int64_t voxels) {
    bool anyEmpty = false;
    for (int c = FluxaEnum::ColorR; c <= FluxaEnum::ColorB; ++c) {
        anyEmpty = anyEmpty || lockedChannel(c) == nullptr;
    }
    // Arrays already handed out are never replaced, so the colour is unpacked at most once.
    if (!anyEmpty) {
        return;
    }
    if (channelData[FluxaEnum::PackedColor] == nullptr) {
        decodeRecord(FluxaEnum::PackedColor, voxels);
    }
    const uint8_t* packed = reinterpret_cast<const uint8_t*>(channelData[FluxaEnum::PackedColor]);
    if (packed == nullptr) {
        return;
    }
    float* colour[3] = {};
    for (float*& component : colour) {
        if (!newArray(component, uint64_t(voxels))) {
            // Start clean next time; the packed colour stays decoded for that retry.
            for (float* allocated : colour) {
                delete[] allocated;
            }
            return;
        }
    }
    // Bytes in memory order: blue, green, red, unused.
    for (int64_t v = 0; v < voxels; ++v) {
        colour[0][v] = float(packed[4 * v + 2]) / 255.0f;
        colour[1][v] = float(packed[4 * v + 1]) / 255.0f;
        colour[2][v] = float(packed[4 * v]) / 255.0f;
    }
    for (int i = 0; i < 3; ++i) {
        if (!publishChannel(FluxaEnum::ColorR + i, colour[i])) {
            delete[] colour[i];
        }
    }
    delete[] channelData[FluxaEnum::PackedColor];
    channelData[FluxaEnum::PackedColor] = nullptr;
}

float* FluxaFrameData::lockedChannel(int channel) {
    Platform::CriticalSectionGuard hold(channelLocks[channel]);
    return channelData[channel];
}

bool FluxaFrameData::publishChannel(int channel, float* array) {
    Platform::CriticalSectionGuard hold(channelLocks[channel]);
    if (channelData[channel] != nullptr) {
        return false;
    }
    channelData[channel] = array;
    return true;
}

void FluxaFrameData::destroyDecoders() {
    for (SGCompressor<3>*& decoder : channelDecoder) {
        delete decoder;
        decoder = nullptr;
    }
}
