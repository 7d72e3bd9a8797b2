// SPDX-License-Identifier: Apache-2.0
// One particle group of a frame. Channels stay in their stored form until a host asks for
// them; the first request decodes under the channel's lock and keeps the values. Groups
// live inside the frame's iArray and move by bitwise copy when it grows, so every field
// must survive that (locks are only ever relocated while nobody holds them).
#pragma once

#include "frame/FluxaFrameData.h"
#include "platform/Platform.h"
#include "support/CharString.h"
#include "support/iArray.h"

#include <cstdint>

// Fields:
//   idOrder         particle indices sorted by identifier; empty while the identifiers are
//                   ascending or not yet examined (idState tells which)
//   lock            guards idOrder and idState, through the whole identifier search
//   name            group name, matched byte for byte by getParticleGroupByName
//   channelMask     bit c: channel c has data in the file; kept for the file, not consulted
//   velocitySource  0x30000: a group without velocities takes them from the grid
//   count           particles in the group
//   extra           64-bit value stored with the group, kept as it is
//   channels        per particle channel: its stored bytes (method tells their encoding)
//                   and its decoded values; present when either is non-empty
//   codecs          per channel, the codec object of its first codec decode, then kept
//   frame           the frame that owns the group
//   idState         what is known about the order of the identifiers
class FluxaFrameData::PGroup : public IFluxaSimPrtGroup {
public:
    // Particle indices with the identifiers they are ordered by.
    class IDORD : public iArray<int32_t> {
    public:
        ~IDORD() override = default;
        virtual bool greater(int32_t a, int32_t b) const { return ids[a] > ids[b]; }
        // Sorts every index by identifier; equal identifiers keep their order. False (and
        // the order unchanged) when the scratch buffer cannot be had.
        bool sort();

        const int64_t* ids = nullptr;
    };

    struct Channel {
        Platform::CriticalSection lock{2000};
        uint32_t method = 0;
        iArray<char, int64_t> compressed;
        iArray<char, int64_t> decoded;
    };

    enum class IdState : uint8_t { Unexamined, Ascending, Sorted };

    PGroup() = default;
    // A deep copy of the stored and decoded bytes, for iArray's fill value. A channel that
    // cannot be copied stays empty; the identifier order is rebuilt on demand.
    PGroup(const PGroup& other);
    // Slot 8: the frame destroys its groups through it.
    virtual ~PGroup();
    PGroup& operator=(const PGroup&) = delete;

    const char* getName() override { return name.Chars(); }
    int getParticleCount() override;
    bool getValue(int particle, int channel, void* out) override;
    bool hasChannel(int channel) override;
    int getChannelSize(int channel) override;
    int findParticleById(long long id) override;
    int getChannelType(int channel) override;
    int getChannelComponents(int channel) override;

    // Decodes channel c into its decoded array unless it is decoded already; with
    // releaseStored the stored bytes go afterwards. A failed decode drops the channel.
    bool decompressChannel(int channel, bool releaseStored);
    // Builds idOrder from decoded identifiers (channel 10); the caller holds lock.
    bool orderIdentifiers();

    IDORD idOrder;
    Platform::CriticalSection lock{2000};
    CharString name;
    uint32_t channelMask = 0;
    uint32_t velocitySource = 0;
    int32_t count = 0;
    int64_t extra = 0;
    Channel channels[32];
    SGCompressor<1>* codecs[32] = {};
    FluxaFrameData* frame = nullptr;
    IdState idState = IdState::Unexamined;

private:
    // False when the stored bytes cannot hold bytes of decoded values by their method.
    bool storedBytesCanFill(int channel, const Channel& target, int64_t bytes) const;
    bool decodeStored(int channel, Channel& target);
    bool decodeCodec(int channel, Channel& target, bool componentMajor);
    bool decodeBitPlanes(int channel, Channel& target);
    SGCompressor<1>* codecFor(int channel);
    int64_t identifierAt(int32_t position) const;
};
