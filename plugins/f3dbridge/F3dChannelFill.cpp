// SPDX-License-Identifier: Apache-2.0
#include "plugins/f3dbridge/F3dChannelFill.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

void copyAligned(float* out, const int64_t grid[3], const int64_t offset[3], const F3dBox& window,
                 const float* values) {
    const int64_t nx = window.size(0), ny = window.size(1);
    // Frame x range whose field index lies inside the window.
    const int64_t xBegin = std::max<int64_t>(0, window.min[0] - offset[0]);
    const int64_t xEnd = std::min<int64_t>(grid[0], window.max[0] - offset[0] + 1);
    for (int64_t z = 0; z < grid[2]; ++z) {
        const int64_t k = z + offset[2];
        for (int64_t y = 0; y < grid[1]; ++y) {
            const int64_t j = y + offset[1];
            float* row = out + (z * grid[1] + y) * grid[0];
            std::fill(row, row + grid[0], 0.0f);
            if (k < window.min[2] || k > window.max[2] || j < window.min[1] || j > window.max[1] ||
                xBegin >= xEnd) {
                continue;
            }
            const float* source = values + ((k - window.min[2]) * ny + (j - window.min[1])) * nx +
                                  (xBegin + offset[0] - window.min[0]);
            std::memcpy(row + xBegin, source, static_cast<size_t>(xEnd - xBegin) * sizeof(float));
        }
    }
}

// Trilinear between the voxel centres around p (continuous field coordinates).
float sampleTrilinear(const double p[3], const F3dBox& window, const float* values) {
    int64_t low[3];
    int64_t high[3];
    double weight[3];
    for (int axis = 0; axis < 3; ++axis) {
        // Also false for NaN.
        if (!(p[axis] >= window.min[axis] && p[axis] <= window.max[axis] + 1.0)) {
            return 0.0f;
        }
        const double centre = std::clamp(p[axis] - 0.5, static_cast<double>(window.min[axis]),
                                         static_cast<double>(window.max[axis]));
        const double floorCentre = std::floor(centre);
        low[axis] = static_cast<int64_t>(floorCentre) - window.min[axis];
        high[axis] = std::min<int64_t>(low[axis] + 1, window.size(axis) - 1);
        weight[axis] = centre - floorCentre;
    }
    const int64_t nx = window.size(0), ny = window.size(1);
    const auto at = [&](int64_t i, int64_t j, int64_t k) {
        return static_cast<double>(values[(k * ny + j) * nx + i]);
    };
    const auto lerp = [](double a, double b, double t) { return a + (b - a) * t; };
    double plane[2];
    for (int dz = 0; dz < 2; ++dz) {
        const int64_t k = dz == 0 ? low[2] : high[2];
        const double front = lerp(at(low[0], low[1], k), at(high[0], low[1], k), weight[0]);
        const double back = lerp(at(low[0], high[1], k), at(high[0], high[1], k), weight[0]);
        plane[dz] = lerp(front, back, weight[1]);
    }
    return static_cast<float>(lerp(plane[0], plane[1], weight[2]));
}

void resample(float* out, const int64_t grid[3], const F3dMatrix& frameToField,
              const F3dBox& window, const float* values) {
    for (int64_t z = 0; z < grid[2]; ++z) {
        for (int64_t y = 0; y < grid[1]; ++y) {
            for (int64_t x = 0; x < grid[0]; ++x) {
                const double centre[3] = {static_cast<double>(x) + 0.5,
                                          static_cast<double>(y) + 0.5,
                                          static_cast<double>(z) + 0.5};
                double p[3];
                frameToField.transformPoint(centre, p);
                *out++ = sampleTrilinear(p, window, values);
            }
        }
    }
}

} // namespace

void fillF3dChannel(float* out, const int32_t gridSize[3], const F3dPlacement& placement,
                    const F3dBox& dataWindow, const float* values) {
    const int64_t grid[3] = {gridSize[0], gridSize[1], gridSize[2]};
    if (placement.aligned) {
        copyAligned(out, grid, placement.offset, dataWindow, values);
    } else {
        resample(out, grid, placement.frameToField, dataWindow, values);
    }
}
