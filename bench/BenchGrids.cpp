// SPDX-License-Identifier: Apache-2.0
#include "BenchGrids.h"

#include <cmath>

namespace korbench {

namespace {

// A cheap stateless hash to [0, 1), so grids are the same on every run and machine.
float hashNoise(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return static_cast<float>(x >> 8) * (1.0f / 16777216.0f);
}

template <typename Value>
std::vector<float> fill(int n, Value value) {
    std::vector<float> grid(static_cast<size_t>(n) * n * n);
    size_t e = 0;
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i, ++e) {
                grid[e] =
                    value(static_cast<float>(i) / static_cast<float>(n),
                          static_cast<float>(j) / static_cast<float>(n),
                          static_cast<float>(k) / static_cast<float>(n), static_cast<uint32_t>(e));
            }
        }
    }
    return grid;
}

} // namespace

std::vector<float> smokeGrid(int n) {
    return fill(n, [](float x, float y, float z, uint32_t e) {
        // A ball of radius 0.39 holds a quarter of the unit cube.
        const float dx = x - 0.5f;
        const float dy = y - 0.5f;
        const float dz = z - 0.5f;
        const float d = std::sqrt(dx * dx + dy * dy + dz * dz) / 0.39f;
        if (d >= 1.0f) {
            return 0.0f;
        }
        const float swirl =
            0.5f + 0.5f * std::sin(x * 21.0f) * std::sin(y * 17.0f) * std::cos(z * 13.0f);
        return (1.0f - d) * swirl + 0.01f * hashNoise(e);
    });
}

std::vector<float> noiseGrid(int n) {
    return fill(n, [](float, float, float, uint32_t e) { return hashNoise(e); });
}

std::vector<float> denseGrid(int n) {
    return fill(n, [](float x, float y, float z, uint32_t e) {
        return 0.6f + 0.3f * std::sin(x * 9.0f + y * 5.0f) * std::cos(z * 7.0f) +
               0.002f * hashNoise(e);
    });
}

std::vector<float> velocityGrid(int n) {
    return fill(n, [](float x, float y, float z, uint32_t e) {
        return 4.0f * std::sin(x * 6.3f + z * 2.0f) * std::cos(y * 4.1f) +
               0.2f * (hashNoise(e) - 0.5f);
    });
}

} // namespace korbench
