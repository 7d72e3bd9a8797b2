// SPDX-License-Identifier: Apache-2.0
// Legacy sections keep every channel in one shared word buffer addressed by per-channel
// offsets, so each offset and each channel's extent is checked against that buffer before
// anything is copied or decoded out of it.
#include "cachefile/ParticleRecords.h"

#include "cachefile/IOErrException.h"
#include "cachefile/KorFileIO.h"
#include "codec/EntropyCoder.h"
#include "codec/SGCompressor.h"
#include "particles/MTComputeParticlesBbox.h"
#include "particles/PGroup.h"
#include "particles/ParticleChannels.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"

#include <cstring>
#include <new>

using namespace ParticleChannel;
using PGroup = FluxaFrameData::PGroup;

namespace {

// Name count, particle count, 32 offsets and the closing sub-record tag.
constexpr int64_t MinSectionGroupBytes = 4 + 4 + 4 * Count + 4;
// Name count, flags, particle count, the 64-bit value and the channel count.
constexpr int64_t MinChunkGroupBytes = 4 + 4 + 4 + 8 + 4;
constexpr int64_t ChunkChannelEntryBytes = 12;
constexpr int32_t NoChannel = -1;

enum SubRecord : int32_t {
    GroupEnd = 0,
    GroupVelocitySource = 1,
    GroupIdentifiers = 2,
    GroupExtra = 3,
};

void require(bool condition) {
    if (!condition) {
        throw IOErrException();
    }
}

template <typename T>
void sizeExactly(iArray<T, int64_t>& array, int64_t elements) {
    require(array.SetSize(elements, nullptr, true));
}

void copyRawChannel(PGroup& group, int channel, const iArray<uint32_t, int64_t>& shared,
                    int64_t offset) {
    const int64_t words = int64_t(group.count) * layoutOf(channel).words();
    require(words <= shared.Count() - offset);
    iArray<char, int64_t>& decoded = group.channels[channel].decoded;
    sizeExactly(decoded, words * 4);
    if (words > 0) {
        std::memcpy(decoded.Data(), shared.Data() + offset, static_cast<size_t>(words) * 4);
    }
}

// The stream holds the values component by component; the channel keeps them
// interleaved per particle. A stream that does not decode, or does not state a value for
// every particle, leaves the channel absent: the count alone never decides an allocation.
void decodeCodedChannel(PGroup& group, int channel, const iArray<uint32_t, int64_t>& shared,
                        int64_t offset) {
    const Layout layout = layoutOf(channel);
    const int64_t count = group.count;
    iArray<char, int64_t>& decoded = group.channels[channel].decoded;
    decoded.SetSize(0);
    const uint64_t values = static_cast<uint64_t>(count) * uint64_t(layout.components);
    const uint8_t* const stream = reinterpret_cast<const uint8_t*>(shared.Data() + offset);
    const uint64_t streamBytes = static_cast<uint64_t>(shared.Count() - offset) * 4;
    if (values == 0 || SGCompressor<1>::StatedElements(stream, streamBytes, values) != values) {
        return;
    }
    iArray<float, int64_t> byComponent;
    sizeExactly(byComponent, static_cast<int64_t>(values));
    if (group.codecs[channel] == nullptr) {
        group.codecs[channel] = new (std::nothrow) SGCompressor<1>();
        require(group.codecs[channel] != nullptr);
    }
    if (group.codecs[channel]->Decompress(stream, byComponent.Data(), false, streamBytes, values) ==
        0) {
        return;
    }
    sizeExactly(decoded, count * layout.bytesPerParticle);
    // The identifier has two words per particle and one component: the second stays 0.
    std::memset(decoded.Data(), 0, static_cast<size_t>(decoded.Count()));
    float* interleaved = reinterpret_cast<float*>(decoded.Data());
    const int words = layout.words();
    for (int j = 0; j < layout.components; ++j) {
        for (int64_t i = 0; i < count; ++i) {
            interleaved[i * words + j] = byComponent[j * count + i];
        }
    }
}

void loadChannels(PGroup& group, const int32_t* offsets, const iArray<uint32_t, int64_t>& shared,
                  bool coded) {
    for (int c = 0; c < Count; ++c) {
        if (offsets[c] == NoChannel) {
            continue;
        }
        // An offset or a count that points outside the shared buffer is a broken file.
        require(group.count >= 0 && offsets[c] >= 0 && offsets[c] <= shared.Count());
        if (coded) {
            decodeCodedChannel(group, c, shared, offsets[c]);
        } else {
            copyRawChannel(group, c, shared, offsets[c]);
        }
    }
}

// The stream holds each identifier's difference to the one before, low 32 bits first.
void decodeIdentifiers(PGroup& group, const iArray<uint8_t, int64_t>& stream) {
    group.idOrder.SetSize(0);
    group.idState = PGroup::IdState::Unexamined;
    const int64_t count = group.count;
    if (count <= 0) {
        return;
    }
    EntropyCoder coder;
    require(coder.InitDecoder(stream.Data(), false, static_cast<uint64_t>(stream.Count())));
    // Values cost at least one bit each, so more values than bits is a hostile count;
    // only a one-entry table, whose codes take no bits, may state any number.
    require(coder.ReadsNoBits() || 2 * count <= 8 * stream.Count());
    iArray<char, int64_t>& decoded = group.channels[Identifier].decoded;
    sizeExactly(decoded, count * 8);
    bool ascending = true;
    uint64_t identifier = 0;
    for (int64_t i = 0; i < count; ++i) {
        const uint64_t low = coder.DecodeValue();
        const uint64_t high = coder.DecodeValue();
        const uint64_t delta = low | high << 32;
        ascending = ascending && (i == 0 || static_cast<int64_t>(delta) >= 0);
        // Wrapping sum: a hostile stream must not overflow a signed value.
        identifier = i == 0 ? delta : identifier + delta;
        writeLE64(reinterpret_cast<uint8_t*>(decoded.Data()) + i * 8, identifier);
    }
    require(!coder.HasOverrun());
    if (!ascending) {
        require(group.orderIdentifiers());
    }
}

void readSubRecords(PGroup& group, FILE* file, int64_t fileBytes, bool loadIdentifiers) {
    for (;;) {
        const int32_t tag = readInt32OrFail(file, "14\n");
        switch (tag) {
        case GroupEnd:
            return;
        case GroupVelocitySource:
            group.velocitySource = static_cast<uint32_t>(readInt32OrFail(file, "15\n"));
            break;
        case GroupIdentifiers: {
            const int32_t streamBytes = readInt32OrFail(file, "16\n");
            const char* message = loadIdentifiers ? "x161\n" : "x162\n";
            requireBytesLeft(streamBytes, 1, file, fileBytes, message);
            if (!loadIdentifiers) {
                seekOrFail(file, streamBytes, SEEK_CUR, message);
                break;
            }
            iArray<uint8_t, int64_t> stream;
            sizeExactly(stream, streamBytes);
            readOrFail(stream.Data(), 1, static_cast<uint64_t>(streamBytes), file, message);
            decodeIdentifiers(group, stream);
            break;
        }
        case GroupExtra:
            group.extra = readInt64OrFail(file, "18\n");
            break;
        default:
            logMessage("19\n");
            throw IOErrException();
        }
    }
}

void boundGroup(FluxaFrameData& frame, PGroup& group) {
    if (frame.boundsJobs == nullptr) {
        frame.boundsJobs = new (std::nothrow) MTComputeParticlesBbox();
        require(frame.boundsJobs != nullptr);
    }
    frame.boundsJobs->Bound(frame, group);
}

} // namespace

void readParticleSection(FluxaFrameData& frame, FILE* file, int64_t fileBytes,
                         const ParticleSectionReading& reading) {
    const int32_t sharedWords = readInt32OrFail(file, "9\n");
    const char* sharedMessage = reading.coded ? "13\n" : "x91\n";
    requireBytesLeft(sharedWords, 4, file, fileBytes, sharedMessage);
    iArray<uint32_t, int64_t> shared;
    if (reading.loadChannels) {
        sizeExactly(shared, sharedWords);
        readOrFail(shared.Data(), 4, static_cast<uint64_t>(sharedWords), file, sharedMessage);
    } else {
        seekOrFail(file, int64_t(sharedWords) * 4, SEEK_CUR, sharedMessage);
    }
    const int32_t groupCount = readInt32OrFail(file, "11\n");
    requireBytesLeft(groupCount, MinSectionGroupBytes, file, fileBytes, "11\n");
    require(frame.groups.SetSize(groupCount, nullptr, true));
    for (int32_t g = 0; g < groupCount; ++g) {
        PGroup& group = frame.groups[g];
        group.frame = &frame;
        readString(group.name, file, fileBytes);
        group.count = readInt32OrFail(file, "12\n");
        uint8_t offsetBytes[4 * Count];
        readOrFail(offsetBytes, 4, Count, file, "13\n");
        int32_t offsets[Count];
        for (int c = 0; c < Count; ++c) {
            offsets[c] = static_cast<int32_t>(readLE32(offsetBytes + 4 * static_cast<size_t>(c)));
        }
        if (reading.loadChannels) {
            loadChannels(group, offsets, shared, reading.coded);
        }
        if (reading.bound) {
            boundGroup(frame, group);
        }
        readSubRecords(group, file, fileBytes, reading.loadIdentifiers);
    }
}

void readParticleChunk(FluxaFrameData& frame, FILE* file, int64_t fileBytes) {
    const int32_t groupCount = readInt32OrFail(file, nullptr);
    requireBytesLeft(groupCount, MinChunkGroupBytes, file, fileBytes, nullptr);
    require(frame.groups.SetSize(0) && frame.groups.SetSize(groupCount, nullptr, true));
    for (int32_t g = 0; g < groupCount; ++g) {
        PGroup& group = frame.groups[g];
        group.frame = &frame;
        readString(group.name, file, fileBytes);
        group.velocitySource = static_cast<uint32_t>(readInt32OrFail(file, nullptr));
        group.count = readInt32OrFail(file, nullptr);
        group.extra = readInt64OrFail(file, nullptr);
        group.channelMask = 0;
        const int32_t channelCount = readInt32OrFail(file, nullptr);
        requireBytesLeft(channelCount, ChunkChannelEntryBytes, file, fileBytes, nullptr);
        for (int32_t k = 0; k < channelCount; ++k) {
            const int32_t channel = readInt32OrFail(file, nullptr);
            const int32_t method = readInt32OrFail(file, nullptr);
            const int32_t storedBytes = readInt32OrFail(file, nullptr);
            require(isChannelIndex(channel));
            const char* message = "Failed to load compressed particle data!\n";
            requireBytesLeft(storedBytes, 1, file, fileBytes, message);
            PGroup::Channel& stored = group.channels[channel];
            stored.method = static_cast<uint32_t>(method);
            sizeExactly(stored.compressed, storedBytes);
            readOrFail(stored.compressed.Data(), 1, static_cast<uint64_t>(storedBytes), file,
                       message);
            if (group.hasChannel(channel)) {
                group.channelMask |= 1u << channel;
            }
        }
    }
}
