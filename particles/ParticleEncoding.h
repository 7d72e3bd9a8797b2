// SPDX-License-Identifier: Apache-2.0
// The inverse of the particle channel decoders: a channel's values, one per particle in
// getValue's layout, turned into the stored bytes of one of the five storage methods.
#pragma once

#include "support/iArray.h"

#include <cstdint>

namespace ParticleChannel {

enum StorageMethod : uint32_t {
    StoredRaw = 0,
    StoredZlib = 1,
    StoredCodec = 2,
    StoredCodecByComponent = 3,
    StoredZlibBitPlanes = 4,
};

// Whether the codec methods may quantise the channel: only float channels can.
bool isQuantisable(int channel);

// Encodes count particles' values of channel into stored with method. bits quantises
// float channels under the codec methods (1..19; 20 or more keeps them exactly) and is
// ignored otherwise. The caller has checked channel, method and count * size < 2^31.
// False, with a log line, when memory runs out or an encoder fails.
bool encodeParticleChannel(int channel, uint32_t method, const void* values, int32_t count,
                           int bits, iArray<char, int64_t>& stored);

} // namespace ParticleChannel
