// SPDX-License-Identifier: Apache-2.0
// readKorFile's reader on arbitrary bytes, through an in-memory stream, then every grid
// channel of whatever loaded, and the same bytes once more header-only.
#include "cachefile/KorReader.h"
#include "tests/fuzz/FuzzInputs.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Larger grids are legal but would only measure the allocator.
constexpr int64_t MaxFuzzVoxels = int64_t(1) << 20;

void readOnce(const uint8_t* data, size_t size, bool headerOnly) {
    // Null for an empty input, which the unit tests cover.
    int result = 0;
    const std::unique_ptr<FluxaFrameData> frame =
        kortest::readFuzzFrame(data, size, headerOnly, result);
    if (frame == nullptr) {
        return;
    }
    if (result != 0 || headerOnly || frame->voxelCount() > MaxFuzzVoxels) {
        return;
    }
    for (int channel = -1; channel <= 32; ++channel) {
        frame->getChannel(channel);
        frame->hasChannel(channel);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readOnce(data, size, false);
    readOnce(data, size, true);
    return 0;
}
