// SPDX-License-Identifier: Apache-2.0
// One particle group of a frame, as the chunk list summarises it. Groups live inside the
// frame's iArray and move by bitwise copy when it grows, so every field must survive that.
#pragma once

#include "loader/FluxaFrameData.h"

// Fields:
//   name            group name, matched byte for byte by getParticleGroupByName
//   channelMask     bit c: channel c has data in the file; kept for the file, not consulted
//   velocitySource  0x30000: a group without velocities takes them from the grid
//   count           particles in the group
//   extra           64-bit value stored with the group, kept as it is
//   channels        per particle channel: its stored bytes (method tells their encoding)
//                   and its decoded values; present when either is non-empty
//   frame           the frame that owns the group
class FluxaFrameData::PGroup : public IFluxaSimPrtGroup {
public:
    struct Channel {
        uint32_t method = 0;
        iArray<char, int64_t> compressed;
        iArray<char, int64_t> decoded;
    };

    PGroup() = default;
    // A deep copy, for iArray's fill value; a channel that cannot be copied stays empty.
    PGroup(const PGroup& other);
    virtual ~PGroup() = default;
    PGroup& operator=(const PGroup&) = delete;

    const char* getName() override { return name.Chars(); }
    int getParticleCount() override;
    bool getValue(int particle, int channel, void* out) override;
    bool hasChannel(int channel) override;
    int getChannelSize(int channel) override;
    int findParticleById(long long id) override;
    int getChannelType(int channel) override;
    int getChannelComponents(int channel) override;

    CharString name;
    uint32_t channelMask = 0;
    uint32_t velocitySource = 0;
    int32_t count = 0;
    int64_t extra = 0;
    Channel channels[32];
    FluxaFrameData* frame = nullptr;
};
