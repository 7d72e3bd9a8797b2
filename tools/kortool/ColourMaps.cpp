// SPDX-License-Identifier: Apache-2.0
#include "ColourMaps.h"

#include <algorithm>
#include <cmath>
#include <korloader/IKor.h>

namespace kortool {

namespace {

struct Stop {
    float at;
    float rgb[3];
};

// Black through red, orange and yellow to white.
constexpr Stop HeatStops[] = {{0.0f, {0, 0, 0}},
                              {0.35f, {0.75f, 0.05f, 0}},
                              {0.6f, {1, 0.45f, 0}},
                              {0.85f, {1, 0.9f, 0.3f}},
                              {1.0f, {1, 1, 1}}};
// Blue through white to red.
constexpr Stop SignedStops[] = {
    {0.0f, {0.1f, 0.2f, 0.8f}}, {0.5f, {1, 1, 1}}, {1.0f, {0.8f, 0.1f, 0.1f}}};
// Black through grey to white, a little warm, like lit smoke.
constexpr Stop DensityStops[] = {{0.0f, {0, 0, 0}}, {1.0f, {1, 0.97f, 0.92f}}};

template <size_t N>
void blend(const Stop (&stops)[N], float t, uint8_t rgb[3]) {
    size_t i = 1;
    while (i + 1 < N && t > stops[i].at) {
        ++i;
    }
    const float f = (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
    for (int c = 0; c < 3; ++c) {
        const float value = stops[i - 1].rgb[c] + f * (stops[i].rgb[c] - stops[i - 1].rgb[c]);
        rgb[c] = uint8_t(std::lround(255.0f * std::clamp(value, 0.0f, 1.0f)));
    }
}

} // namespace

ColourMap colourMapFor(int slot, float low, float high) {
    if (slot == FluxaEnum::Temperature) {
        return ColourMap::Temperature;
    }
    const bool velocity = slot >= FluxaEnum::VelocityX && slot <= FluxaEnum::VelocityZ;
    return velocity || (low < 0.0f && high > 0.0f) ? ColourMap::Signed : ColourMap::Density;
}

std::string colourMapName(ColourMap map) {
    switch (map) {
    case ColourMap::Temperature:
        return "temperature";
    case ColourMap::Signed:
        return "signed";
    default:
        return "density";
    }
}

void mapRange(ColourMap map, float& low, float& high) {
    if (map == ColourMap::Signed) {
        high = std::max(std::fabs(low), std::fabs(high));
        low = -high;
    }
}

void colourOf(ColourMap map, float value, float low, float high, uint8_t rgb[3]) {
    if (std::isnan(value)) {
        rgb[0] = 255, rgb[1] = 0, rgb[2] = 255;
        return;
    }
    const float t = high > low ? std::clamp((value - low) / (high - low), 0.0f, 1.0f) : 0.5f;
    switch (map) {
    case ColourMap::Temperature:
        blend(HeatStops, t, rgb);
        break;
    case ColourMap::Signed:
        blend(SignedStops, t, rgb);
        break;
    default:
        blend(DensityStops, t, rgb);
        break;
    }
}

} // namespace kortool
