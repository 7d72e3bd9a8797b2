// SPDX-License-Identifier: Apache-2.0
// The vdbbridge reading core on arbitrary bytes: our walk over the grid descriptors, then
// every offered channel mapped and imported, header-only and (for small frames) in full.
// OpenVDB reads only named files, so each input goes through a temporary file. Seeds are
// real OpenVDB files, so mutations reach the descriptors and grid headers.
#include "loader/FluxaFrameData.h"
#include "plugins/vdbbridge/VdbChannelNames.h"
#include "plugins/vdbbridge/VdbFrameImport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Larger frames are legal but would only measure the allocator.
constexpr int64_t MaxFuzzVoxels = int64_t(1) << 20;

std::string writeTempFile(const uint8_t* data, size_t size) {
    char path[] = "/tmp/fuzz_vdbbridge_XXXXXX";
    const int descriptor = mkstemp(path);
    if (descriptor < 0) {
        std::abort();
    }
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(descriptor, data + written, size - written);
        if (n <= 0) {
            std::abort();
        }
        written += static_cast<size_t>(n);
    }
    close(descriptor);
    return path;
}

std::vector<CacheIO::GridMapping> offeredMappings(const std::string& path) {
    std::vector<CacheIO::GridMapping> mappings;
    try {
        int slot = 0;
        for (const auto& channel : vdbbridge::listChannels(vdbbridge::readFileInfo(path).grids)) {
            mappings.emplace_back(channel.name.c_str(), slot++ % 32);
        }
    } catch (...) {
        // Refused files offer nothing; the import below must refuse them too.
    }
    return mappings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool initialised = [] {
        openvdb::initialize();
        return true;
    }();
    (void)initialised;
    const std::string path = writeTempFile(data, size);
    std::vector<CacheIO::GridMapping> mappings = offeredMappings(path);
    mappings.emplace_back("density", 2);
    const int count = static_cast<int>(mappings.size());

    FluxaFrameData header;
    int orientation = -1;
    const int result =
        vdbbridge::importFrame(path.c_str(), header, orientation, true, mappings.data(), count);
    const int64_t voxels = int64_t(header.gridSize[0]) * header.gridSize[1] * header.gridSize[2];
    if (result == 0 && voxels <= MaxFuzzVoxels) {
        FluxaFrameData frame;
        vdbbridge::importFrame(path.c_str(), frame, orientation, false, mappings.data(), count);
    }
    std::remove(path.c_str());
    return 0;
}
