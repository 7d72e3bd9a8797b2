// SPDX-License-Identifier: Apache-2.0
#include "particles/ParticleChannels.h"

namespace ParticleChannel {

namespace {

constexpr int DefinedChannels = 15;

constexpr Layout layouts[DefinedChannels] = {
    {12, 3, 10}, // 0 position
    {12, 3, 10}, // 1 velocity
    {4, 1, 10},  // 2 size
    {4, 1, 10},  // 3 age
    {12, 3, 10}, // 4 colour
    {4, 1, 10},  // 5 float channel
    {0, 0, 0},   // 6 unused
    {0, 0, 0},   // 7 unused
    {0, 0, 0},   // 8 unused
    {4, 1, 10},  // 9 float channel
    {8, 1, 7},   // 10 identifier
    {4, 1, 10},  // 11 float channel
    {4, 1, 6},   // 12 integer channel
    {4, 1, 6},   // 13 integer channel
    {4, 1, 6},   // 14 integer channel
};

} // namespace

Layout layoutOf(int channel) {
    return channel >= 0 && channel < DefinedChannels ? layouts[channel] : Layout{4, 1, 0};
}

} // namespace ParticleChannel
