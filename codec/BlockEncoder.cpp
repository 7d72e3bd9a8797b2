// SPDX-License-Identifier: Apache-2.0
#include "codec/BlockEncoder.h"

#include <cmath>

void findValueRange(const float* data, uint64_t count, float& minimum, float& maximum) {
    minimum = count > 0 ? data[0] : 0.0f;
    maximum = minimum;
    for (uint64_t e = 0; e < count; ++e) {
        const float value = data[e];
        // A channel with a NaN or an infinity is stored as zeros, as it always was.
        if (!std::isfinite(value)) {
            minimum = 0;
            maximum = 0;
            return;
        }
        minimum = value < minimum ? value : minimum;
        maximum = value > maximum ? value : maximum;
    }
}

bool quantiseValues(const float* data, uint64_t count, float minimum, float scale, int32_t* q) {
    constexpr float Limit = 2147483648.0f;
    for (uint64_t e = 0; e < count; ++e) {
        const float sum = (data[e] - minimum) * scale + 0.5f;
        // Also false for NaN, which an infinite scale can produce.
        if (!(sum > -Limit && sum < Limit)) {
            return false;
        }
        int32_t truncated = static_cast<int32_t>(sum);
        if (static_cast<float>(truncated) > sum) {
            --truncated;
        }
        q[e] = truncated;
    }
    return true;
}

void differenceGrid(uint32_t* q, const uint64_t extent[3], uint32_t passes) {
    const uint64_t row = extent[0];
    const uint64_t plane = extent[0] * extent[1];
    const uint64_t lines = extent[1] * extent[2];
    for (uint64_t pass = 0; pass < passes; ++pass) {
        for (uint64_t line = 0; line < lines; ++line) {
            uint32_t* const values = q + line * row;
            for (uint64_t i = row; i-- > pass + 1;) {
                values[i] -= values[i - 1];
            }
        }
        for (uint64_t k = 0; k < extent[2]; ++k) {
            uint32_t* const slab = q + k * plane;
            for (uint64_t j = extent[1]; j-- > pass + 1;) {
                for (uint64_t i = 0; i < row; ++i) {
                    slab[j * row + i] -= slab[(j - 1) * row + i];
                }
            }
        }
        for (uint64_t k = extent[2]; k-- > pass + 1;) {
            for (uint64_t i = 0; i < plane; ++i) {
                q[k * plane + i] -= q[(k - 1) * plane + i];
            }
        }
    }
}
