// SPDX-License-Identifier: Apache-2.0
// The vdbbridge reading core on arbitrary bytes: our walk over the grid descriptors and
// headers, then every offered channel mapped and imported, header-only and in full. Full
// imports check each mapped grid's stored tree and let OpenVDB read it; the frame is held
// to a small voxel budget so that a far-away tile cannot make a run allocate gigabytes.
// Each input goes through a temporary file; seeds are real OpenVDB files.
#include "frame/FluxaFrameData.h"
#include "plugins/vdbbridge/VdbChannelNames.h"
#include "plugins/vdbbridge/VdbFrameImport.h"
#include "tests/fuzz/FuzzInputs.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int64_t FuzzVoxelBudget = int64_t{1} << 18;

// The mappings of every channel the file offers, plus the usual smoke name.
std::vector<CacheIO::GridMapping> offeredMappings(const std::string& path) {
    std::vector<CacheIO::GridMapping> mappings;
    try {
        int slot = 0;
        for (const auto& channel : vdbbridge::listChannels(vdbbridge::readFileInfo(path).grids)) {
            mappings.emplace_back(channel.name.c_str(), slot++ % 32);
        }
    } catch (...) {
    }
    mappings.emplace_back("density", 2);
    return mappings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool initialised = [] {
        openvdb::initialize();
        return true;
    }();
    (void)initialised;
    const std::string path = kortest::writeFuzzInputFile(data, size, "fuzz_vdbbridge");
    std::vector<CacheIO::GridMapping> mappings = offeredMappings(path);
    for (const bool headerOnly : {true, false}) {
        FluxaFrameData frame;
        int orientation = -1;
        vdbbridge::importFrame(path.c_str(), frame, orientation, headerOnly, mappings.data(),
                               static_cast<int>(mappings.size()), FuzzVoxelBudget);
    }
    std::remove(path.c_str());
    return 0;
}
