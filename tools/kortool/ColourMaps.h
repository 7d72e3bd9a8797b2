// SPDX-License-Identifier: Apache-2.0
// Colour maps for previews, chosen by what a channel holds: density as grey smoke,
// temperature as a glowing body, signed quantities (velocity) diverging around zero.
#pragma once

#include <cstdint>
#include <string>

namespace kortool {

enum class ColourMap { Density, Temperature, Signed };

// The map that suits a channel slot whose values span [low, high].
ColourMap colourMapFor(int slot, float low, float high);
std::string colourMapName(ColourMap map);

// The range the map spreads over: signed maps are symmetric about zero.
void mapRange(ColourMap map, float& low, float& high);

// RGB of value within [low, high] (clamped; NaN is magenta).
void colourOf(ColourMap map, float value, float low, float high, uint8_t rgb[3]);

} // namespace kortool
