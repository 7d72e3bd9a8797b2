// SPDX-License-Identifier: Apache-2.0
#include "plugins/vdbbridge/VdbChannelNames.h"

namespace vdbbridge {

namespace {

constexpr const char* ComponentSuffixes[3] = {"(x)", "(y)", "(z)"};
constexpr size_t ComponentSuffixLength = 3;

bool isFloatingKind(VdbValueKind kind) {
    return kind == VdbValueKind::Float || kind == VdbValueKind::Double;
}

} // namespace

std::vector<VdbChannel> listChannels(const VdbGridCatalog& grids) {
    std::vector<VdbChannel> channels;
    for (const VdbGridInfo& grid : grids) {
        if (grid.kind == VdbValueKind::Unsupported) {
            continue;
        }
        if (isVectorKind(grid.kind)) {
            for (const char* suffix : ComponentSuffixes) {
                channels.push_back({grid.name + suffix, true});
            }
            continue;
        }
        channels.push_back({grid.name, grid.levelSet || !isFloatingKind(grid.kind)});
    }
    return channels;
}

bool findChannelSource(const VdbGridCatalog& grids, const std::string& name,
                       ChannelSource& source) {
    for (size_t g = 0; g < grids.size(); ++g) {
        const VdbGridInfo& grid = grids[g];
        if (grid.kind != VdbValueKind::Unsupported && !isVectorKind(grid.kind) &&
            grid.name == name) {
            source = {static_cast<int>(g), -1};
            return true;
        }
    }
    if (name.size() < ComponentSuffixLength) {
        return false;
    }
    const std::string base = name.substr(0, name.size() - ComponentSuffixLength);
    const std::string suffix = name.substr(name.size() - ComponentSuffixLength);
    for (int component = 0; component < 3; ++component) {
        if (suffix != ComponentSuffixes[component]) {
            continue;
        }
        for (size_t g = 0; g < grids.size(); ++g) {
            if (isVectorKind(grids[g].kind) && grids[g].name == base) {
                source = {static_cast<int>(g), component};
                return true;
            }
        }
    }
    return false;
}

} // namespace vdbbridge
