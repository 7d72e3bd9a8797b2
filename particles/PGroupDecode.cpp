// SPDX-License-Identifier: Apache-2.0
// On-demand decode of one particle channel from its stored bytes, by storage method:
// 0 raw, 1 zlib, 2 codec, 3 codec stored component by component, 4 zlib bit planes.
// Every method writes the whole decoded array, so no host reads bytes the decoder did not
// write: a zlib stream that ends early leaves zeros, and a codec stream must state a value
// for every word of every particle.
#include "codec/InflateBlock.h"
#include "codec/SGCompressor.h"
#include "particles/PGroup.h"
#include "particles/PRTIN.h"
#include "particles/ParticleChannels.h"
#include "support/Messages.h"

#include <cstring>
#include <new>

using namespace ParticleChannel;

namespace {

enum Method : uint32_t {
    Stored = 0,
    Zlib = 1,
    Codec = 2,
    CodecComponentMajor = 3,
    ZlibBitPlanes = 4,
};

void release(iArray<char, int64_t>& bytes) {
    bytes.~iArray<char, int64_t>();
    new (&bytes) iArray<char, int64_t>();
}

bool copyAll(const iArray<char, int64_t>& from, iArray<char, int64_t>& to) {
    if (!to.SetSize(from.Count(), nullptr, true)) {
        return false;
    }
    std::memcpy(to.Data(), from.Data(), static_cast<size_t>(from.Count()));
    return true;
}

bool inflateInto(const iArray<char, int64_t>& compressed, void* output, int64_t outputBytes) {
    uint64_t produced = 0;
    if (inflateBlock(reinterpret_cast<const uint8_t*>(compressed.Data()),
                     static_cast<uint64_t>(compressed.Count()), static_cast<uint8_t*>(output),
                     static_cast<uint64_t>(outputBytes), &produced) == 0) {
        return false;
    }
    std::memset(static_cast<uint8_t*>(output) + produced, 0,
                static_cast<size_t>(uint64_t(outputBytes) - produced));
    return true;
}

int64_t bitPlaneBytes(int32_t count, int words) {
    return (int64_t(count) + 31) / 32 * words * 32 * 4;
}

} // namespace

SGCompressor<1>* FluxaFrameData::PGroup::codecFor(int channel) {
    if (codecs[channel] == nullptr) {
        codecs[channel] = new (std::nothrow) SGCompressor<1>();
    }
    return codecs[channel];
}

bool FluxaFrameData::PGroup::decodeCodec(int channel, Channel& target, bool componentMajor) {
    SGCompressor<1>* codec = codecFor(channel);
    if (codec == nullptr) {
        return false;
    }
    const int64_t floats = target.decoded.Count() / 4;
    if (!componentMajor) {
        return codec->Decompress(target.compressed.Data(),
                                 reinterpret_cast<float*>(target.decoded.Data()), false,
                                 static_cast<uint64_t>(target.compressed.Count()),
                                 static_cast<uint64_t>(floats)) != 0;
    }
    iArray<float, int64_t> byComponent;
    if (!byComponent.SetSize(floats, nullptr, true)) {
        return false;
    }
    if (codec->Decompress(target.compressed.Data(), byComponent.Data(), false,
                          static_cast<uint64_t>(target.compressed.Count()),
                          static_cast<uint64_t>(floats)) == 0) {
        return false;
    }
    const int k = layoutOf(channel).words();
    float* interleaved = reinterpret_cast<float*>(target.decoded.Data());
    for (int j = 0; j < k; ++j) {
        for (int64_t i = 0; i < count; ++i) {
            interleaved[i * k + j] = byComponent[j * int64_t(count) + i];
        }
    }
    return true;
}

bool FluxaFrameData::PGroup::decodeBitPlanes(int channel, Channel& target) {
    // Channels 6 to 8 have no words to rebuild.
    const int words = layoutOf(channel).words();
    if (words == 0 || count <= 0) {
        return false;
    }
    iArray<uint32_t, int64_t> planes;
    if (!planes.SetSize(bitPlaneBytes(count, words) / 4, nullptr, true)) {
        return false;
    }
    if (!inflateInto(target.compressed, planes.Data(), planes.Count() * 4)) {
        return false;
    }
    PRTIN unpack(&target.decoded, planes.Data(), channel);
    return unpack.Unpack(count);
}

bool FluxaFrameData::PGroup::storedBytesCanFill(int channel, const Channel& target,
                                                int64_t bytes) const {
    const uint64_t stored = static_cast<uint64_t>(target.compressed.Count());
    switch (target.method) {
    case Stored:
        return stored >= uint64_t(bytes);
    case Zlib:
        return uint64_t(bytes) <= maxInflatedBytes(stored);
    case ZlibBitPlanes:
        return uint64_t(bitPlaneBytes(count, layoutOf(channel).words())) <=
               maxInflatedBytes(stored);
    case Codec:
    case CodecComponentMajor: {
        // One constant block may stand for any number of particles, but it has to say so.
        const uint64_t floats = uint64_t(bytes) / 4;
        return SGCompressor<1>::StatedElements(target.compressed.Data(), stored, floats) == floats;
    }
    default:
        return false;
    }
}

bool FluxaFrameData::PGroup::decodeStored(int channel, Channel& target) {
    const int64_t bytes = target.decoded.Count();
    switch (target.method) {
    case Stored:
        // A channel without bytes per particle keeps whatever was stored.
        if (bytes == 0) {
            return copyAll(target.compressed, target.decoded);
        }
        std::memcpy(target.decoded.Data(), target.compressed.Data(), static_cast<size_t>(bytes));
        return true;
    case Zlib:
        return inflateInto(target.compressed, target.decoded.Data(), bytes);
    case Codec:
        return decodeCodec(channel, target, false);
    case CodecComponentMajor:
        return decodeCodec(channel, target, true);
    default:
        return decodeBitPlanes(channel, target);
    }
}

bool FluxaFrameData::PGroup::decompressChannel(int channel, bool releaseStored) {
    if (!isChannelIndex(channel)) {
        return false;
    }
    Channel& target = channels[channel];
    Platform::CriticalSectionGuard guard(target.lock);
    if (target.decoded.Count() > 0) {
        return true;
    }
    if (target.compressed.Count() == 0) {
        logMessage("PGroup::decompressChannel failed: no compression data!");
        return false;
    }
    if (target.method > ZlibBitPlanes || count < 0) {
        // Nothing is sized first, so every later request fails the same way.
        return false;
    }
    const int64_t bytes = int64_t(count) * layoutOf(channel).bytesPerParticle;
    // Stored bytes that cannot fill the channel are refused before its room is had.
    const bool fits = storedBytesCanFill(channel, target, bytes);
    if (fits && bytes > 0 && !target.decoded.SetSize(bytes, nullptr, true)) {
        return false;
    }
    const bool decoded = fits && decodeStored(channel, target);
    if (!decoded) {
        logMessage("Error decompressing particle channel %d with method %d\n", channel,
                   static_cast<int>(target.method));
        release(target.compressed);
        release(target.decoded);
        return false;
    }
    if (releaseStored) {
        release(target.compressed);
    }
    return true;
}
