// SPDX-License-Identifier: Apache-2.0
// Particle group queries over the channels as they are held. Channels stay in their
// stored form here; getValue serves the ones that hold decoded values.
#include "loader/PGroup.h"

#include <cstring>

namespace {

constexpr uint32_t VelocityFromGrid = 0x30000;
constexpr int VelocityChannel = 1;
constexpr int PositionChannel = 0;

struct ChannelLayout {
    int bytesPerParticle;
    int components;
    int typeCode; // 10 float, 7 int64, 6 int32, 0 none
};

// Channels 0 to 14; the rest are single undefined 4-byte values.
constexpr ChannelLayout layouts[15] = {
    {12, 3, 10}, {12, 3, 10}, {4, 1, 10}, {4, 1, 10}, {12, 3, 10}, {4, 1, 10}, {0, 0, 0}, {0, 0, 0},
    {0, 0, 0},   {4, 1, 10},  {8, 1, 7},  {4, 1, 10}, {4, 1, 6},   {4, 1, 6},  {4, 1, 6},
};

ChannelLayout layoutOf(int channel) {
    return channel >= 0 && channel < 15 ? layouts[channel] : ChannelLayout{4, 1, 0};
}

bool isChannelIndex(int channel) {
    return channel >= 0 && channel < 32;
}

void copyBytes(iArray<char, int64_t>& to, const iArray<char, int64_t>& from) {
    if (from.Count() > 0 && to.SetSize(from.Count(), nullptr, true)) {
        std::memcpy(to.Data(), from.Data(), static_cast<size_t>(from.Count()));
    }
}

} // namespace

FluxaFrameData::PGroup::PGroup(const PGroup& other)
    : IFluxaSimPrtGroup(other), name(other.name), channelMask(other.channelMask),
      velocitySource(other.velocitySource), count(other.count), extra(other.extra),
      frame(other.frame) {
    for (int c = 0; c < 32; ++c) {
        channels[c].method = other.channels[c].method;
        copyBytes(channels[c].compressed, other.channels[c].compressed);
        copyBytes(channels[c].decoded, other.channels[c].decoded);
    }
}

int FluxaFrameData::PGroup::getParticleCount() {
    return hasChannel(PositionChannel) ? count : 0;
}

bool FluxaFrameData::PGroup::getValue(int particle, int channel, void* out) {
    if (!isChannelIndex(channel) || particle < 0 || particle >= count || out == nullptr) {
        return false;
    }
    const iArray<char, int64_t>& values = channels[channel].decoded;
    const int64_t bytes = layoutOf(channel).bytesPerParticle;
    if (values.Count() / (bytes > 0 ? bytes : 1) <= particle) {
        return false;
    }
    std::memcpy(out, values.Data() + particle * bytes, static_cast<size_t>(bytes));
    return true;
}

bool FluxaFrameData::PGroup::hasChannel(int channel) {
    if (channel == VelocityChannel && frame != nullptr && velocitySource == VelocityFromGrid) {
        return frame->hasChannel(FluxaEnum::VelocityX) != 0;
    }
    return isChannelIndex(channel) &&
           (channels[channel].compressed.Count() > 0 || channels[channel].decoded.Count() > 0);
}

int FluxaFrameData::PGroup::getChannelSize(int channel) {
    return layoutOf(channel).bytesPerParticle;
}

int FluxaFrameData::PGroup::findParticleById(long long) {
    return -1;
}

int FluxaFrameData::PGroup::getChannelType(int channel) {
    return layoutOf(channel).typeCode;
}

int FluxaFrameData::PGroup::getChannelComponents(int channel) {
    return layoutOf(channel).components;
}
