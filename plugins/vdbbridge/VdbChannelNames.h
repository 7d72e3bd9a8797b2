// SPDX-License-Identifier: Apache-2.0
// How the grids of a file appear as channels: a scalar grid is one channel named as the
// grid, a vector grid three channels "<name>(x)", "<name>(y)" and "<name>(z)".
//
// The channel flag means "not a density": it is set for vector components, level sets
// and grids whose values are not floating point (int, bool). The library never picks a
// flagged channel as the fallback source of smoke.
#pragma once

#include "plugins/vdbbridge/VdbGridCatalog.h"

#include <string>
#include <vector>

namespace vdbbridge {

struct VdbChannel {
    std::string name;
    bool flag = false;
};

// The channels of the grids, in grid order; grids of unsupported types give none.
std::vector<VdbChannel> listChannels(const VdbGridCatalog& grids);

// Where a channel name's values come from: a grid and, for vector grids, a component.
struct ChannelSource {
    int gridIndex = -1;
    int component = -1; // -1: scalar grid
};

// The first grid, in stored order, that provides the channel `name`: a scalar grid of
// that exact name, else the matching component of a vector grid named by the part before
// "(x)", "(y)" or "(z)". False when no grid does.
bool findChannelSource(const VdbGridCatalog& grids, const std::string& name, ChannelSource& source);

} // namespace vdbbridge
