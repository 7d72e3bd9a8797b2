// SPDX-License-Identifier: Apache-2.0
// Every argument is checked before anything is kept, so a refused call leaves the writer
// as it was and nothing unreadable can reach a file: quantised channels must be finite
// (the encoder would store a NaN channel as zeros), and every size must fit the 32-bit
// counts of the format.
#include "loader/FrameWriter.h"

#include "cachefile/KorWriter.h"
#include "codec/SGCompressor.h"
#include "codec/ZoneEncoder.h"
#include "frame/RecordTable.h"
#include "jobs/ThreadManagerStack.h"
#include "loader/FrameFormats.h"
#include "particles/PGroup.h"
#include "particles/ParticleChannels.h"
#include "particles/ParticleEncoding.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int ExactBits = 20;
constexpr int MaxPasses = 255;
// Positions farther out than this are not counted in the particle bounds, as on reading.
constexpr float FarPosition = 100000.0f;

// A grid channel's stream goes straight into its record of the table.
class RecordSink final : public ZoneSink {
public:
    RecordSink(iArray<int32_t>& records, int slot) : table(records), channel(slot) {}
    uint8_t* Room(uint64_t bytes) override {
        uint8_t* const room = appendRecord(table, channel, bytes);
        tooLarge = room == nullptr;
        return room;
    }
    bool Take(const uint8_t* stream, uint64_t bytes) override {
        uint8_t* const room = Room(bytes);
        if (room != nullptr) {
            std::memcpy(room, stream, static_cast<size_t>(bytes));
        }
        return room != nullptr;
    }
    // The table could not take the stream.
    bool TooLarge() const { return tooLarge; }

private:
    iArray<int32_t>& table;
    const int channel;
    bool tooLarge = false;
};
constexpr float NoBound = 1e20f;

bool allFinite(const float* values, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            return false;
        }
    }
    return true;
}

void rangeOf(const float* values, int64_t count, float& low, float& high) {
    low = count > 0 ? values[0] : 0.0f;
    high = low;
    for (int64_t i = 1; i < count; ++i) {
        low = values[i] < low ? values[i] : low;
        high = values[i] > high ? values[i] : high;
    }
}

} // namespace

FrameWriter::FrameWriter() {
    frame.frameNumber = 0;
}

FrameWriter::~FrameWriter() {
    delete gridEncoder;
    for (GridChannel& channel : channels) {
        delete[] channel.values;
    }
}

int FrameWriter::refuse(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(lastError, sizeof lastError, format, arguments);
    va_end(arguments);
    logMessage("IKorWriter: %s\n", lastError);
    return 0;
}

int FrameWriter::succeed() {
    lastError[0] = '\0';
    return 1;
}

int64_t FrameWriter::voxelCount() const {
    return int64_t(frame.gridSize[0]) * frame.gridSize[1] * frame.gridSize[2];
}

uint32_t FrameWriter::channelBits() const {
    uint32_t mask = 0;
    for (int c = 0; c < 32; ++c) {
        mask |= channels[c].values != nullptr ? 1u << c : 0u;
    }
    return mask;
}

int FrameWriter::setGridSize(int gx, int gy, int gz) {
    if (gx < 0 || gy < 0 || gz < 0) {
        return refuse("grid size %d x %d x %d has a negative extent", gx, gy, gz);
    }
    // The codec counts a channel's elements in 32 bits.
    if (int64_t(gx) * gy * gz > INT32_MAX) {
        return refuse("grid size %d x %d x %d has more than 2147483647 voxels", gx, gy, gz);
    }
    const bool same = gx == frame.gridSize[0] && gy == frame.gridSize[1] && gz == frame.gridSize[2];
    if (!same && channelBits() != 0) {
        return refuse("grid channels are already set for %d x %d x %d", frame.gridSize[0],
                      frame.gridSize[1], frame.gridSize[2]);
    }
    frame.gridSize[0] = gx;
    frame.gridSize[1] = gy;
    frame.gridSize[2] = gz;
    return succeed();
}

int FrameWriter::setTransform(const float* transform) {
    if (transform == nullptr) {
        return refuse("the transform is null");
    }
    if (!allFinite(transform, 12)) {
        return refuse("the transform holds a NaN or infinite value");
    }
    std::memcpy(frame.transform, transform, sizeof frame.transform);
    return succeed();
}

int FrameWriter::setFrameNumber(int frameNumber) {
    frame.frameNumber = frameNumber;
    return succeed();
}

int FrameWriter::setNote(const char* note) {
    frame.note = note != nullptr ? note : "";
    return succeed();
}

int FrameWriter::setChannel(int channel, const float* values, int bits, float step, int passes) {
    if (channel < 0 || channel >= FluxaEnum::GridChannelCount) {
        return refuse("unknown grid channel %d (0..31)", channel);
    }
    if (channel == FluxaEnum::PackedColor) {
        return refuse("channel 18 holds packed colour; give colour as channels 7, 8 and 9");
    }
    const int64_t voxels = voxelCount();
    if (voxels == 0) {
        return refuse("set a grid size with voxels before channel %d", channel);
    }
    if (values == nullptr) {
        return refuse("the values of channel %d are null", channel);
    }
    if (passes < 0 || passes > MaxPasses) {
        return refuse("passes %d for channel %d is outside 0..255", passes, channel);
    }
    const bool quantised = bits < ExactBits;
    if (bits <= 0 && !(std::isfinite(step) && step > 0.0f)) {
        return refuse("channel %d: bits %d needs a finite step above 0", channel, bits);
    }
    if (quantised && !allFinite(values, voxels)) {
        return refuse("channel %d holds NaN or infinite values; store it exactly (bits 32) or "
                      "clean it",
                      channel);
    }
    float* copy = nullptr;
    if (!newArray(copy, uint64_t(voxels))) {
        return refuse("no memory for channel %d", channel);
    }
    std::memcpy(copy, values, size_t(voxels) * sizeof(float));
    GridChannel& target = channels[channel];
    delete[] target.values;
    target.values = copy;
    target.bits = bits;
    target.step = step;
    target.passes = passes;
    rangeOf(copy, voxels, target.min, target.max);
    return succeed();
}

int FrameWriter::addParticleGroup(const char* name, int count) {
    if (count < 0) {
        refuse("particle count %d is negative", count);
        return -1;
    }
    const int32_t index = frame.groups.Count();
    const Bounds empty = {{NoBound, NoBound, NoBound}, {-NoBound, -NoBound, -NoBound}};
    // Growing moves the groups bitwise; a group's channel locks are never held here.
    if (!groupBounds.Append(empty) || !frame.groups.SetSize(index + 1)) {
        groupBounds.SetSize(index);
        refuse("no memory for particle group %d", index);
        return -1;
    }
    FluxaFrameData::PGroup& group = frame.groups[index];
    group.frame = &frame;
    group.name = name != nullptr ? name : "";
    group.count = count;
    succeed();
    return index;
}

int FrameWriter::setParticleChannel(int group, int channel, const void* values, int method,
                                    int bits) {
    if (group < 0 || group >= frame.groups.Count()) {
        return refuse("unknown particle group %d", group);
    }
    if (!ParticleChannel::isChannelIndex(channel) ||
        ParticleChannel::layoutOf(channel).bytesPerParticle == 0) {
        return refuse("unknown particle channel %d (0..31 except 6, 7 and 8)", channel);
    }
    if (method < 0 || method > int(ParticleChannel::StoredZlibBitPlanes)) {
        return refuse("unknown particle storage method %d (0..4)", method);
    }
    FluxaFrameData::PGroup& target = frame.groups[group];
    const ParticleChannel::Layout layout = ParticleChannel::layoutOf(channel);
    // The file stores a channel's byte count in 32 bits.
    if (int64_t(target.count) * layout.bytesPerParticle > INT32_MAX) {
        return refuse("particle channel %d of %d particles passes 2 GiB", channel, target.count);
    }
    if (values == nullptr && target.count > 0) {
        return refuse("the values of particle channel %d are null", channel);
    }
    const bool codec = uint32_t(method) == ParticleChannel::StoredCodec ||
                       uint32_t(method) == ParticleChannel::StoredCodecByComponent;
    const bool quantised = codec && ParticleChannel::isQuantisable(channel) && bits < ExactBits;
    const int64_t floats = int64_t(target.count) * layout.words();
    if (quantised && bits <= 0) {
        return refuse("particle channel %d: the codec methods take bits 1..19, or 20 or more "
                      "for exact values",
                      channel);
    }
    if (quantised && !allFinite(static_cast<const float*>(values), floats)) {
        return refuse("particle channel %d holds NaN or infinite values", channel);
    }
    FluxaFrameData::PGroup::Channel& stored = target.channels[channel];
    stored.decoded.SetSize(0);
    stored.method = uint32_t(method);
    if (target.count == 0) {
        // No particles, no bytes: the channel is simply absent.
        stored.compressed.SetSize(0);
        return succeed();
    }
    iArray<char, int64_t> encoded;
    if (!ParticleChannel::encodeParticleChannel(channel, uint32_t(method), values, target.count,
                                                bits, encoded) ||
        !stored.compressed.SetSize(encoded.Count(), nullptr, true)) {
        return refuse("particle channel %d could not be encoded", channel);
    }
    std::memcpy(stored.compressed.Data(), encoded.Data(), size_t(encoded.Count()));
    if (channel == ParticleChannel::Position) {
        Bounds& bounds = groupBounds[group];
        bounds = {{NoBound, NoBound, NoBound}, {-NoBound, -NoBound, -NoBound}};
        const float* positions = static_cast<const float*>(values);
        for (int32_t i = 0; i < target.count; ++i) {
            float p[3];
            std::memcpy(p, positions + 3 * int64_t(i), sizeof p);
            const float sum = p[0] + p[1] + p[2];
            if (!std::isfinite(sum) || std::fabs(sum) >= FarPosition) {
                continue;
            }
            for (int a = 0; a < 3; ++a) {
                bounds.min[a] = p[a] < bounds.min[a] ? p[a] : bounds.min[a];
                bounds.max[a] = p[a] > bounds.max[a] ? p[a] : bounds.max[a];
            }
        }
    }
    return succeed();
}

void FrameWriter::mergeParticleBounds() {
    for (int a = 0; a < 3; ++a) {
        frame.particleBoundsMin[a] = NoBound;
        frame.particleBoundsMax[a] = -NoBound;
    }
    for (int32_t g = 0; g < groupBounds.Count(); ++g) {
        for (int a = 0; a < 3; ++a) {
            const Bounds& bounds = groupBounds[g];
            frame.particleBoundsMin[a] = std::fmin(frame.particleBoundsMin[a], bounds.min[a]);
            frame.particleBoundsMax[a] = std::fmax(frame.particleBoundsMax[a], bounds.max[a]);
        }
    }
}

bool FrameWriter::encodeChannels(iArray<int32_t>& table) {
    // A set keeps the manager it was built on: a host that changed the pool gets a new one.
    if (gridEncoder != nullptr && gridEncoder->threadManager != XUtils::currentThreadManager()) {
        delete gridEncoder;
        gridEncoder = nullptr;
    }
    if (gridEncoder == nullptr) {
        gridEncoder = new (std::nothrow) SGCompressor<3>();
    }
    if (gridEncoder == nullptr) {
        refuse("no memory for the grid encoder");
        return false;
    }
    SGCompressor<3>& compressor = *gridEncoder;
    for (int c = 0; c < 32; ++c) {
        const GridChannel& channel = channels[c];
        if (channel.values == nullptr) {
            continue;
        }
        RecordSink record(table, c);
        const uint64_t bytes = compressZones(compressor, channel.values, frame.gridSize,
                                             channel.bits, channel.step, channel.passes, record);
        if (bytes == 0 && record.TooLarge()) {
            refuse("the grid channels pass the 8 GiB a frame can hold");
            return false;
        }
        if (bytes == 0) {
            refuse("grid channel %d could not be encoded", c);
            return false;
        }
    }
    return true;
}

int FrameWriter::saveKor(const char* pathPattern) {
    iArray<int32_t> table;
    if (!encodeChannels(table)) {
        return 0;
    }
    // The frame borrows the table for the write, so the records are not copied again.
    frame.recordTable = table.Count() > 0 ? table.Data() : nullptr;
    frame.recordWords = table.Count();
    const int result = saveFrame(&frame, pathPattern, frame.channelMask);
    frame.recordTable = nullptr;
    frame.recordWords = 0;
    return result == WriteOk ? succeed() : refuse("%s could not be written", pathPattern);
}

int FrameWriter::saveVdb(const char* pathPattern) {
    // The export reads channels through the frame: lend it the host's exact values.
    for (int c = 0; c < 32; ++c) {
        frame.channelData[c] = channels[c].values;
    }
    const int result = saveFrame(&frame, pathPattern, frame.channelMask);
    for (int c = 0; c < 32; ++c) {
        if (frame.channelData[c] == channels[c].values) {
            frame.channelData[c] = nullptr;
        }
    }
    // Whatever the frame derived on its own (speed) is its to release.
    frame.releaseChannels();
    if (result != WriteOk) {
        return refuse("%s could not be written by the OpenVDB plug-in (result %d; "
                      "initalizeKoraLoader loads it)",
                      pathPattern, result);
    }
    return succeed();
}

int FrameWriter::save(const char* pathPattern) {
    if (pathPattern == nullptr || pathPattern[0] == '\0') {
        return refuse("no path to save to");
    }
    frame.channelMask = channelBits();
    for (int c = 0; c < 32; ++c) {
        const bool set = channels[c].values != nullptr;
        frame.channelMin[c] = set ? channels[c].min : FLT_MAX;
        frame.channelMax[c] = set ? channels[c].max : -FLT_MAX;
    }
    mergeParticleBounds();
    return frameFormatOf(pathPattern) == FrameFormat::Vdb ? saveVdb(pathPattern)
                                                          : saveKor(pathPattern);
}

IKorWriter* newIKorWriter() {
    return new (std::nothrow) FrameWriter();
}

void deleteIKorWriter(IKorWriter* writer) {
    delete static_cast<FrameWriter*>(writer);
}
