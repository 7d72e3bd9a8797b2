// SPDX-License-Identifier: Apache-2.0
// Shared by the f3dbridge tests: importing through the reading core with mappings given
// as (name, slot) pairs, and where the sample caches live.
#pragma once

#include "frame/FluxaFrameData.h"
#include "plugins/f3dbridge/F3dImport.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace f3dtest {

using Mappings = std::vector<std::pair<std::string, int>>;

struct Imported {
    F3dResult result;
    std::unique_ptr<FluxaFrameData> frame;

    int64_t index(int64_t i, int64_t j, int64_t k) const {
        return i + frame->gridSize[0] * (j + static_cast<int64_t>(frame->gridSize[1]) * k);
    }
};

Imported importF3d(const std::string& path, const Mappings& mappings, bool headerOnly = false,
                   int64_t voxelBudget = F3dDefaultVoxelBudget);

// (name, flag) pairs in the order the file offers them.
std::vector<std::pair<std::string, bool>> listChannels(const std::string& path);

std::string samplePath(const std::string& name);

} // namespace f3dtest
