// SPDX-License-Identifier: Apache-2.0
// readKorFile's reader on arbitrary bytes, through an in-memory stream, then every grid
// channel of whatever loaded, and the same bytes once more header-only.
#include "cachefile/KorReader.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Larger grids are legal but would only measure the allocator.
constexpr int64_t MaxFuzzVoxels = int64_t(1) << 20;

void readOnce(const uint8_t* data, size_t size, bool headerOnly) {
    // fmemopen cannot open an empty buffer; the unit tests cover the empty file.
    if (size == 0) {
        return;
    }
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    std::memcpy(copy.get(), data, size);
    FILE* file = fmemopen(copy.get(), size, "rb");
    if (file == nullptr) {
        return;
    }
    std::unique_ptr<FluxaFrameData> frame(new FluxaFrameData());
    const int result = readKorStream(frame.get(), file, "fuzz.kor", headerOnly);
    std::fclose(file);
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
