// SPDX-License-Identifier: Apache-2.0
// Encode arbitrary floats with arbitrary parameters, decode, and abort when a value comes
// back further off than the block's quantisation allows.
#include "codec/SGCompressor.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

float headerFloat(const uint8_t* stream, size_t at) {
    float value;
    std::memcpy(&value, stream + at, 4);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) {
        return 0;
    }
    const int bits = data[0] % 24 - 3;
    const int passes = data[1] % 5;
    const float step = std::ldexp(1.0f, -(data[1] >> 3));
    const int32_t rowLength = 1 + data[2] % 16;
    const int32_t rowCount = 1 + data[3] % 8;
    std::vector<float> values((size - 4) / 4);
    std::memcpy(values.data(), data + 4, values.size() * 4);
    const int32_t planes = static_cast<int32_t>(values.size()) / (rowLength * rowCount);
    const int32_t extents[3] = {rowLength, rowCount, planes};
    const uint64_t count = uint64_t(rowLength) * uint64_t(rowCount) * uint64_t(planes);

    SGCompressor<3> encoder;
    const uint64_t streamSize = encoder.Compress(values.data(), extents, bits, step, passes);
    if (streamSize == 0) {
        std::abort(); // in-range parameters always encode
    }
    std::vector<float> out(count + 1, 0.0f);
    SGCompressor<3> decoder;
    if (decoder.Decompress(encoder.OutputData(), out.data(), false, streamSize, count) != 1) {
        std::abort();
    }
    const uint8_t* stream = encoder.OutputData();
    bool finite = true;
    float low = count > 0 ? values[0] : 0.0f;
    float high = low;
    for (uint64_t e = 0; e < count; ++e) {
        finite = finite && std::isfinite(values[e]);
        low = std::fmin(low, values[e]);
        high = std::fmax(high, values[e]);
    }
    for (uint64_t e = 0; e < count; ++e) {
        switch (stream[2]) {
        case 0: // raw: exact bits
            if (std::memcmp(&out[e], &values[e], 4) != 0) {
                std::abort();
            }
            break;
        case 1: // constant: the minimum, or zeros for non-finite data
            if (out[e] != (finite ? low : 0.0f)) {
                std::abort();
            }
            break;
        default: {
            const float scale = headerFloat(stream, 15);
            const double tolerance = 0.5 / std::fabs(double(scale)) * 1.001 +
                                     (std::fabs(double(low)) + std::fabs(double(high))) * 1e-6;
            if (!finite || !(std::fabs(double(out[e]) - double(values[e])) <= tolerance)) {
                std::abort();
            }
        }
        }
    }
    return 0;
}
