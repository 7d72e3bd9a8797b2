// SPDX-License-Identifier: Apache-2.0
// The vdbbridge reading core on arbitrary bytes: our walk over the grid descriptors and
// headers, then every offered channel mapped and imported header-only, which reaches the
// box and budget checks. Voxel blocks are OpenVDB's own parser, which allocates the block
// sizes a file states before reading them (an impossible size throws bad_alloc, which the
// import catches, but stops a sanitizer run), so inputs that would need them are not
// imported. Each input goes through a temporary file; seeds are real OpenVDB files.
#include "frame/FluxaFrameData.h"
#include "plugins/vdbbridge/VdbChannelNames.h"
#include "plugins/vdbbridge/VdbFrameImport.h"
#include "tests/fuzz/FuzzInputs.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The mappings of every channel the file offers; false when the header-only import would
// have to read voxel blocks (a grid without statistics or transform) or the file is refused.
bool offeredMappings(const std::string& path, std::vector<CacheIO::GridMapping>& mappings) {
    try {
        const vdbbridge::VdbFileInfo info = vdbbridge::readFileInfo(path);
        for (const vdbbridge::VdbGridInfo& grid : info.grids) {
            if (!grid.hasActiveBox || !grid.transform) {
                return false;
            }
        }
        int slot = 0;
        for (const auto& channel : vdbbridge::listChannels(info.grids)) {
            mappings.emplace_back(channel.name.c_str(), slot++ % 32);
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool initialised = [] {
        openvdb::initialize();
        return true;
    }();
    (void)initialised;
    const std::string path = kortest::writeFuzzInputFile(data, size, "fuzz_vdbbridge");
    std::vector<CacheIO::GridMapping> mappings;
    if (offeredMappings(path, mappings)) {
        mappings.emplace_back("density", 2);
        FluxaFrameData frame;
        int orientation = -1;
        vdbbridge::importFrame(path.c_str(), frame, orientation, true, mappings.data(),
                               static_cast<int>(mappings.size()));
    }
    std::remove(path.c_str());
    return 0;
}
