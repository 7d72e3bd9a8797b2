// SPDX-License-Identifier: Apache-2.0
// The particle group interface: per-particle reads, channel presence and layouts, grid
// velocities for groups without their own, and identifier lookup.
#include "particles/PGroup.h"

#include "codec/SGCompressor.h"
#include "particles/GridVelocity.h"
#include "particles/ParticleChannels.h"

#include <cstring>

using namespace ParticleChannel;

namespace {

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
    for (int c = 0; c < Count; ++c) {
        channels[c].method = other.channels[c].method;
        copyBytes(channels[c].compressed, other.channels[c].compressed);
        copyBytes(channels[c].decoded, other.channels[c].decoded);
    }
}

FluxaFrameData::PGroup::~PGroup() {
    for (SGCompressor<1>*& codec : codecs) {
        delete codec;
        codec = nullptr;
    }
}

int FluxaFrameData::PGroup::getParticleCount() {
    return hasChannel(Position) ? count : 0;
}

bool FluxaFrameData::PGroup::getValue(int particle, int channel, void* out) {
    // The interface does not promise range checks; a host's bad index must not read
    // outside the group.
    if (!isChannelIndex(channel) || particle < 0 || particle >= count || out == nullptr) {
        return false;
    }
    Channel& values = channels[channel];
    bool present;
    {
        Platform::CriticalSectionGuard guard(values.lock);
        present = values.compressed.Count() > 0 || values.decoded.Count() > 0;
    }
    if (!present) {
        if (channel != Velocity || !hasChannel(Velocity)) {
            return false;
        }
        float position[3];
        if (!getValue(particle, Position, position)) {
            return false;
        }
        return sampleGridVelocity(*frame, position, static_cast<float*>(out));
    }
    if (!decompressChannel(channel, true)) {
        return false;
    }
    // Decoded values never change once decoded, so they are read outside the lock.
    const int64_t bytes = layoutOf(channel).bytesPerParticle;
    if (values.decoded.Count() < (int64_t(particle) + 1) * bytes) {
        return false;
    }
    std::memcpy(out, values.decoded.Data() + particle * bytes, static_cast<size_t>(bytes));
    return true;
}

bool FluxaFrameData::PGroup::hasChannel(int channel) {
    if (channel == Velocity && frame != nullptr && velocitySource == VelocityFromGrid) {
        return frame->hasChannel(FluxaEnum::VelocityX) != 0;
    }
    if (!isChannelIndex(channel)) {
        return false;
    }
    Channel& stored = channels[channel];
    Platform::CriticalSectionGuard guard(stored.lock);
    return stored.compressed.Count() > 0 || stored.decoded.Count() > 0;
}

int FluxaFrameData::PGroup::getChannelSize(int channel) {
    return layoutOf(channel).bytesPerParticle;
}

int FluxaFrameData::PGroup::getChannelType(int channel) {
    return layoutOf(channel).typeCode;
}

int FluxaFrameData::PGroup::getChannelComponents(int channel) {
    return layoutOf(channel).components;
}

int64_t FluxaFrameData::PGroup::identifierAt(int32_t position) const {
    const int32_t particle = idState == IdState::Sorted ? idOrder[position] : position;
    int64_t id;
    std::memcpy(&id, channels[Identifier].decoded.Data() + int64_t(particle) * 8, sizeof id);
    return id;
}

bool FluxaFrameData::PGroup::orderIdentifiers() {
    const iArray<char, int64_t>& decoded = channels[Identifier].decoded;
    if (idState != IdState::Unexamined) {
        return true;
    }
    const int64_t* ids = reinterpret_cast<const int64_t*>(decoded.Data());
    bool ascending = ids[0] >= 0;
    for (int32_t i = 1; i < count && ascending; ++i) {
        ascending = ids[i] >= ids[i - 1];
    }
    if (ascending) {
        idState = IdState::Ascending;
        return true;
    }
    if (!idOrder.SetSize(count, nullptr, true)) {
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        idOrder[i] = i;
    }
    idOrder.ids = ids;
    if (!idOrder.sort()) {
        idOrder.SetSize(0);
        return false;
    }
    idState = IdState::Sorted;
    return true;
}

int FluxaFrameData::PGroup::findParticleById(long long id) {
    if (count <= 0 || !hasChannel(Identifier)) {
        return -1;
    }
    // Held through the search: another caller may be building the order meanwhile.
    Platform::CriticalSectionGuard guard(lock);
    if (!decompressChannel(Identifier, true) ||
        channels[Identifier].decoded.Count() < int64_t(count) * 8 || !orderIdentifiers()) {
        return -1;
    }
    int32_t lo = 0;
    int32_t hi = count;
    while (hi - lo > 1) {
        const int32_t mid = lo + (hi - lo) / 2;
        const int64_t here = identifierAt(mid);
        if (id == here) {
            return idState == IdState::Sorted ? idOrder[mid] : mid;
        }
        if (id > here) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    if (identifierAt(lo) != id) {
        return -1;
    }
    return idState == IdState::Sorted ? idOrder[lo] : lo;
}
