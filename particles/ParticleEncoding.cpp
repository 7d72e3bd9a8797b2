// SPDX-License-Identifier: Apache-2.0
// Each encoder produces exactly what PGroupDecode reads back: zlib streams that end within
// the decoded size, single-block codec streams of count * words values, and bit planes
// 32 particles to a plane word, least significant bit first.
#include "particles/ParticleEncoding.h"

#include "codec/SGCompressor.h"
#include "particles/ParticleChannels.h"
#include "support/Messages.h"

#include <cstring>
#include <zlib.h>

namespace ParticleChannel {

namespace {

// Float channels quantise; bits at or above this keep the floats exactly.
constexpr int ExactBits = 32;
constexpr int FloatType = 10;

bool copyInto(iArray<char, int64_t>& stored, const void* bytes, int64_t byteCount) {
    if (!stored.SetSize(byteCount, nullptr, true)) {
        return false;
    }
    if (byteCount > 0) {
        std::memcpy(stored.Data(), bytes, static_cast<size_t>(byteCount));
    }
    return true;
}

bool deflateInto(iArray<char, int64_t>& stored, const void* bytes, int64_t byteCount) {
    uLongf size = compressBound(static_cast<uLong>(byteCount));
    if (!stored.SetSize(static_cast<int64_t>(size), nullptr, true)) {
        return false;
    }
    const int result =
        compress2(reinterpret_cast<Bytef*>(stored.Data()), &size, static_cast<const Bytef*>(bytes),
                  static_cast<uLong>(byteCount), Z_BEST_SPEED);
    if (result != Z_OK) {
        logMessage("Particle channel zlib compression failed (%d)\n", result);
        return false;
    }
    return stored.SetSize(static_cast<int64_t>(size));
}

bool codecInto(iArray<char, int64_t>& stored, const uint32_t* words, int64_t wordCount, int bits) {
    const int32_t extents[1] = {static_cast<int32_t>(wordCount)};
    SGCompressor<1> compressor;
    float* const floats = reinterpret_cast<float*>(const_cast<uint32_t*>(words));
    const uint64_t size = compressor.Compress(floats, extents, bits, 0.0f, 0);
    return size > 0 && copyInto(stored, compressor.OutputData(), static_cast<int64_t>(size));
}

// Word j of particle i becomes element j * count + i.
bool byComponent(iArray<uint32_t, int64_t>& reordered, const uint32_t* words, int64_t count,
                 int wordsPerParticle) {
    if (!reordered.SetSize(count * wordsPerParticle, nullptr, true)) {
        return false;
    }
    for (int64_t i = 0; i < count; ++i) {
        for (int j = 0; j < wordsPerParticle; ++j) {
            reordered[j * count + i] = words[i * wordsPerParticle + j];
        }
    }
    return true;
}

// Plane (j, b) holds bit b of word j of every particle, 32 particles per plane word.
bool bitPlanes(iArray<uint32_t, int64_t>& planes, const uint32_t* words, int64_t count,
               int wordsPerParticle) {
    const int64_t planeWords = (count + 31) / 32;
    const uint32_t zero = 0;
    if (!planes.SetSize(planeWords * wordsPerParticle * 32, &zero, true)) {
        return false;
    }
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t particleBit = 1u << (i % 32);
        for (int j = 0; j < wordsPerParticle; ++j) {
            const uint32_t word = words[i * wordsPerParticle + j];
            for (int b = 0; b < 32; ++b) {
                if ((word >> b) & 1u) {
                    planes[(int64_t(j) * 32 + b) * planeWords + i / 32] |= particleBit;
                }
            }
        }
    }
    return true;
}

} // namespace

bool isQuantisable(int channel) {
    return layoutOf(channel).typeCode == FloatType;
}

bool encodeParticleChannel(int channel, uint32_t method, const void* values, int32_t count,
                           int bits, iArray<char, int64_t>& stored) {
    const Layout layout = layoutOf(channel);
    const int64_t wordCount = int64_t(count) * layout.words();
    const int64_t byteCount = wordCount * 4;
    const int codecBits = isQuantisable(channel) && bits < 20 ? bits : ExactBits;
    // The values may be unaligned host memory; the encoders read whole words.
    iArray<uint32_t, int64_t> words;
    if (!words.SetSize(wordCount, nullptr, true)) {
        return false;
    }
    if (byteCount > 0) {
        std::memcpy(words.Data(), values, static_cast<size_t>(byteCount));
    }
    iArray<uint32_t, int64_t> arranged;
    switch (method) {
    case StoredRaw:
        return copyInto(stored, words.Data(), byteCount);
    case StoredZlib:
        return deflateInto(stored, words.Data(), byteCount);
    case StoredCodec:
        return codecInto(stored, words.Data(), wordCount, codecBits);
    case StoredCodecByComponent:
        return byComponent(arranged, words.Data(), count, layout.words()) &&
               codecInto(stored, arranged.Data(), wordCount, codecBits);
    case StoredZlibBitPlanes:
        return bitPlanes(arranged, words.Data(), count, layout.words()) &&
               deflateInto(stored, arranged.Data(), arranged.Count() * 4);
    default:
        return false;
    }
}

} // namespace ParticleChannel
