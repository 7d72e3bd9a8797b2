// SPDX-License-Identifier: Apache-2.0
#include "particles/GridVelocity.h"

#include <cmath>

namespace {

// The cell that a coordinate falls in along one axis: its lower voxel, the upper voxel
// (the same one at the far border) and the fraction between them.
struct AxisCell {
    int64_t lower;
    int64_t upper;
    float fraction;
};

AxisCell cellAlong(float coordinate, int32_t extent) {
    const float last = static_cast<float>(extent - 1);
    // NaN compares false everywhere and so lands on voxel 0.
    float clamped = coordinate > 0.0f ? coordinate : 0.0f;
    clamped = clamped < last ? clamped : last;
    const float floored = std::floor(clamped);
    const int64_t lower = static_cast<int64_t>(floored);
    const int64_t upper = lower < extent - 1 ? lower + 1 : lower;
    return {lower, upper, clamped - floored};
}

float blend(const float* grid, const AxisCell cell[3], int64_t nx, int64_t nxy) {
    float sum = 0.0f;
    for (int corner = 0; corner < 8; ++corner) {
        const bool hx = (corner & 1) != 0;
        const bool hy = (corner & 2) != 0;
        const bool hz = (corner & 4) != 0;
        const float wx = hx ? cell[0].fraction : 1.0f - cell[0].fraction;
        const float wy = hy ? cell[1].fraction : 1.0f - cell[1].fraction;
        const float wz = hz ? cell[2].fraction : 1.0f - cell[2].fraction;
        const int64_t i = hx ? cell[0].upper : cell[0].lower;
        const int64_t j = hy ? cell[1].upper : cell[1].lower;
        const int64_t k = hz ? cell[2].upper : cell[2].lower;
        sum += wx * wy * wz * grid[i + nx * j + nxy * k];
    }
    return sum;
}

} // namespace

bool sampleGridVelocity(FluxaFrameData& frame, const float* position, float* out) {
    const float* velocity[3] = {frame.getChannel(FluxaEnum::VelocityX),
                                frame.getChannel(FluxaEnum::VelocityY),
                                frame.getChannel(FluxaEnum::VelocityZ)};
    if (velocity[0] == nullptr || velocity[1] == nullptr || velocity[2] == nullptr ||
        frame.voxelCount() <= 0) {
        return false;
    }
    const AxisCell cell[3] = {cellAlong(position[0], frame.gridSize[0]),
                              cellAlong(position[1], frame.gridSize[1]),
                              cellAlong(position[2], frame.gridSize[2])};
    const int64_t nx = frame.gridSize[0];
    const int64_t nxy = nx * frame.gridSize[1];
    for (int axis = 0; axis < 3; ++axis) {
        out[axis] = blend(velocity[axis], cell, nx, nxy);
    }
    return true;
}
