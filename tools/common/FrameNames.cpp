// SPDX-License-Identifier: Apache-2.0
#include "tools/common/FrameNames.h"

#include <algorithm>
#include <cctype>
#include <korloader/IKor.h>

namespace kortool {

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

std::string gridChannelName(int slot) {
    static const char* const names[FluxaEnum::GridChannelCount] = {nullptr,
                                                                   "Temperature",
                                                                   "Smoke",
                                                                   "Speed",
                                                                   "VelocityX",
                                                                   "VelocityY",
                                                                   "VelocityZ",
                                                                   "ColorR",
                                                                   "ColorG",
                                                                   "ColorB",
                                                                   "Fuel",
                                                                   nullptr,
                                                                   nullptr,
                                                                   nullptr,
                                                                   "Wavelet",
                                                                   "AdvectionOriginX",
                                                                   "AdvectionOriginY",
                                                                   "AdvectionOriginZ",
                                                                   "PackedColor",
                                                                   "TextureU",
                                                                   "TextureV",
                                                                   "TextureW"};
    if (slot >= 0 && slot < FluxaEnum::GridChannelCount && names[slot] != nullptr) {
        return names[slot];
    }
    return "Channel" + std::to_string(slot);
}

int gridChannelSlot(const std::string& nameOrSlot) {
    if (!nameOrSlot.empty() && nameOrSlot.size() <= 2 &&
        std::all_of(nameOrSlot.begin(), nameOrSlot.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; })) {
        const int slot = std::stoi(nameOrSlot);
        return slot < FluxaEnum::GridChannelCount ? slot : -1;
    }
    for (int slot = 0; slot < FluxaEnum::GridChannelCount; ++slot) {
        if (lowered(gridChannelName(slot)) == lowered(nameOrSlot)) {
            return slot;
        }
    }
    return -1;
}

std::string particleChannelName(int channel) {
    static const char* const names[15] = {"position", "velocity", "size",     "age",      "color",
                                          "float5",   "channel6", "channel7", "channel8", "float9",
                                          "id",       "float11",  "int12",    "int13",    "int14"};
    return channel >= 0 && channel < 15 ? names[channel] : "channel" + std::to_string(channel);
}

int particleComponents(int channel) {
    if (channel == 0 || channel == 1 || channel == 4) {
        return 3;
    }
    return channel >= 6 && channel <= 8 ? 0 : 1;
}

char particleValueKind(int channel) {
    if (channel == 10) {
        return 'l';
    }
    if (channel >= 12 && channel <= 14) {
        return 'i';
    }
    return channel > 14 ? 'u' : 'f';
}

std::string frameFormat(const std::string& path) {
    const size_t dot = path.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : lowered(path.substr(dot + 1));
    return extension == "kor" || extension == "vdb" || extension == "f3d" ? extension : "";
}

} // namespace kortool
