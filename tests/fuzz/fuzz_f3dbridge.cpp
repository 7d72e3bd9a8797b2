// SPDX-License-Identifier: Apache-2.0
// The f3dbridge reading core on arbitrary bytes. HDF5 reads only named files, so each
// input goes through a temporary file; every channel the file offers is then mapped and
// imported, fully and header-only. Seeds are real Field3D files, so mutations reach the
// layout checks behind the HDF5 signature. Blocks libhdf5 itself keeps after corrupt files
// are HDF5's: tests/lsan.supp leaves them out of the leak report.
#include "frame/FluxaFrameData.h"
#include "plugins/f3dbridge/F3dImport.h"
#include "tests/fuzz/FuzzInputs.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <hdf5.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Larger frames are legal but would only measure the allocator.
constexpr int64_t MaxFuzzVoxels = int64_t(1) << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = kortest::writeFuzzInputFile(data, size, "fuzz_f3dbridge");
    CacheIO::AvailableChannelList channels;
    appendF3dChannels(path.c_str(), &channels);
    std::vector<CacheIO::GridMapping> mappings;
    for (int32_t i = 0; i < channels.Count(); ++i) {
        mappings.emplace_back(channels[i].name.Chars(), i % 32);
    }
    for (const bool headerOnly : {false, true}) {
        std::unique_ptr<FluxaFrameData> frame(new FluxaFrameData());
        fillFrameFromF3d(path.c_str(), frame.get(), headerOnly, mappings.data(),
                         static_cast<int>(mappings.size()), MaxFuzzVoxels);
    }
    std::remove(path.c_str());
    // Every HDF5 identifier the core opened must be closed again, on every refusal path.
    if (H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL) != 0) {
        std::abort();
    }
    return 0;
}
