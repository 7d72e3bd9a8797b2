// SPDX-License-Identifier: Apache-2.0
// The fixed layout of each particle channel identifier. Channels 15 to 31 have no
// defined meaning but are still carried as single 4-byte values.
#pragma once

#include <cstdint>

namespace ParticleChannel {

constexpr int Position = 0;
constexpr int Velocity = 1;
constexpr int Identifier = 10;
constexpr int Count = 32;

// A group whose velocitySource is this takes its velocities from the frame's grid.
constexpr uint32_t VelocityFromGrid = 0x30000;

struct Layout {
    int bytesPerParticle; // 12, 4, 0 or 8
    int components;       // 3, 1 or 0
    int typeCode;         // 10 float, 7 int64, 6 int32, 0 none
    // 32-bit words per particle: bytesPerParticle / 4.
    int words() const { return bytesPerParticle / 4; }
};

// The layout of any channel identifier; identifiers outside 0 to 14 get {4, 1, 0}.
Layout layoutOf(int channel);

inline bool isChannelIndex(int channel) {
    return channel >= 0 && channel < Count;
}

} // namespace ParticleChannel
