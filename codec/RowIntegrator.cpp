// SPDX-License-Identifier: Apache-2.0
#include "codec/RowIntegrator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t stagesAlong(uint64_t extent, uint32_t passes) {
    // Pass p leaves the first p elements of a line alone, so it does nothing when p >= extent.
    return extent == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(passes, extent - 1));
}

// One pass along axis 1 or 2. state holds the previous line (or plane) after this pass;
// the first pass lines are left as they are and only recorded.
void addPrevious(uint32_t* values, uint32_t* state, uint64_t count, bool leftAlone) {
    if (leftAlone) {
        std::memcpy(state, values, count * 4);
        return;
    }
    for (uint64_t t = 0; t < count; ++t) {
        values[t] += state[t];
        state[t] = values[t];
    }
}

} // namespace

void dequantiseValues(const uint32_t* values, uint64_t count, float inverseScale, float offset,
                      float* out) {
    // Two roundings, never a fused multiply-add: the codec is built with -ffp-contract=off.
    for (uint64_t t = 0; t < count; ++t) {
        out[t] = static_cast<float>(static_cast<int32_t>(values[t])) * inverseScale + offset;
    }
}

RowIntegrator::~RowIntegrator() {
    std::free(lineState);
    std::free(planeState);
}

uint64_t RowIntegrator::StateElements(const uint64_t grid[3], uint32_t passCount) {
    return stagesAlong(grid[1], passCount) * grid[0] +
           stagesAlong(grid[2], passCount) * grid[0] * grid[1];
}

bool RowIntegrator::Init(const uint64_t grid[3], uint32_t passCount) {
    std::copy(grid, grid + 3, extent);
    passes = std::min<uint32_t>(passCount, 255);
    rowStages = stagesAlong(extent[0], passes);
    lineStages = stagesAlong(extent[1], passes);
    planeStages = stagesAlong(extent[2], passes);
    std::free(lineState);
    std::free(planeState);
    lineState = nullptr;
    planeState = nullptr;
    if (lineStages > 0) {
        lineState = static_cast<uint32_t*>(std::malloc(lineStages * extent[0] * 4));
        if (lineState == nullptr) {
            return false;
        }
    }
    if (planeStages > 0) {
        planeState = static_cast<uint32_t*>(std::malloc(planeStages * extent[0] * extent[1] * 4));
        if (planeState == nullptr) {
            return false;
        }
    }
    return true;
}

void RowIntegrator::IntegrateAxis0(uint32_t* values, uint64_t count, uint64_t start) {
    for (uint32_t pass = rowStages; pass >= 1; --pass) {
        uint32_t sum = start == 0 ? 0 : runningSums[pass];
        uint64_t t = 0;
        // Elements before index pass stay as they are; the last of them seeds the sum.
        for (; t < count && start + t < pass; ++t) {
            sum = values[t];
        }
        for (; t < count; ++t) {
            sum += values[t];
            values[t] = sum;
        }
        runningSums[pass] = sum;
    }
}

void RowIntegrator::Integrate(uint32_t* values, uint64_t count, uint64_t start, uint64_t j,
                              uint64_t k) {
    IntegrateAxis0(values, count, start);
    for (uint32_t pass = lineStages; pass >= 1; --pass) {
        addPrevious(values, lineState + (pass - 1) * extent[0] + start, count, j < pass);
    }
    const uint64_t planeElements = extent[0] * extent[1];
    const uint64_t planeOffset = j * extent[0] + start;
    for (uint32_t pass = planeStages; pass >= 1; --pass) {
        addPrevious(values, planeState + (pass - 1) * planeElements + planeOffset, count, k < pass);
    }
}

void RowIntegrator::IntegrateAndDequantise(uint32_t* values, uint64_t count, uint64_t start,
                                           uint64_t j, uint64_t k, float inverseScale, float offset,
                                           float* out) {
    if (!SinglePassInside(j, k)) {
        Integrate(values, count, start, j, k);
        dequantiseValues(values, count, inverseScale, offset, out);
        return;
    }
    IntegrateAxis0(values, count, start);
    uint32_t* const line = lineState + start;
    uint32_t* const plane = planeState + j * extent[0] + start;
    for (uint64_t t = 0; t < count; ++t) {
        const uint32_t acrossLines = values[t] + line[t];
        line[t] = acrossLines;
        const uint32_t acrossPlanes = acrossLines + plane[t];
        plane[t] = acrossPlanes;
        out[t] = static_cast<float>(static_cast<int32_t>(acrossPlanes)) * inverseScale + offset;
    }
}

void RowIntegrator::IntegrateZerosAndDequantise(uint32_t* values, uint64_t count, uint64_t start,
                                                uint64_t j, uint64_t k, float inverseScale,
                                                float offset, float* out) {
    // Empty space in smoke grids: a zero line integrates to the line before it, so only
    // the plane sums move.
    if (!SinglePassInside(j, k) || start != 0) {
        std::memset(values, 0, count * 4);
        IntegrateAndDequantise(values, count, start, j, k, inverseScale, offset, out);
        return;
    }
    runningSums[1] = 0;
    const uint32_t* const line = lineState;
    uint32_t* const plane = planeState + j * extent[0];
    for (uint64_t t = 0; t < count; ++t) {
        const uint32_t acrossPlanes = line[t] + plane[t];
        plane[t] = acrossPlanes;
        out[t] = static_cast<float>(static_cast<int32_t>(acrossPlanes)) * inverseScale + offset;
    }
}
