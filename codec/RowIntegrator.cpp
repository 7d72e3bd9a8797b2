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

// Every line and plane stage of an inner line in one sweep, then the dequantisation. Each
// state holds the value after its own stage, as the stage-by-stage order leaves it; sums
// wrap, so the order of the adds is the one Integrate uses.
template <uint32_t Stages>
void integrateInside(const uint32_t* __restrict values, uint64_t count,
                     uint32_t* const (&lines)[Stages], uint32_t* const (&planes)[Stages],
                     float inverseScale, float offset, float* __restrict out) {
    uint32_t* __restrict line0 = lines[0];
    uint32_t* __restrict plane0 = planes[0];
    uint32_t* __restrict line1 = lines[Stages - 1];
    uint32_t* __restrict plane1 = planes[Stages - 1];
    for (uint64_t t = 0; t < count; ++t) {
        uint32_t value = values[t];
        if (Stages == 2) {
            value += line1[t];
            line1[t] = value;
        }
        value += line0[t];
        line0[t] = value;
        if (Stages == 2) {
            value += plane1[t];
            plane1[t] = value;
        }
        value += plane0[t];
        plane0[t] = value;
        out[t] = static_cast<float>(static_cast<int32_t>(value)) * inverseScale + offset;
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
    // Only elements before index rowStages are left alone by some pass; past them every pass
    // adds, so the passes can share a sweep there.
    const uint64_t head = start >= rowStages ? 0 : std::min<uint64_t>(count, rowStages - start);
    for (uint32_t pass = rowStages; pass >= 1; --pass) {
        uint32_t sum = start == 0 ? 0 : runningSums[pass];
        for (uint64_t t = 0; t < head; ++t) {
            // An element a pass leaves alone seeds its sum.
            sum = start + t < pass ? values[t] : sum + values[t];
            values[t] = sum;
        }
        runningSums[pass] = sum;
    }
    if (rowStages == 2) {
        uint32_t outer = runningSums[2];
        uint32_t inner = runningSums[1];
        for (uint64_t t = head; t < count; ++t) {
            outer += values[t];
            inner += outer;
            values[t] = inner;
        }
        runningSums[2] = outer;
        runningSums[1] = inner;
        return;
    }
    for (uint32_t pass = rowStages; pass >= 1; --pass) {
        uint32_t sum = runningSums[pass];
        for (uint64_t t = head; t < count; ++t) {
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
    if (!AllStagesInside(j, k)) {
        Integrate(values, count, start, j, k);
        dequantiseValues(values, count, inverseScale, offset, out);
        return;
    }
    IntegrateAxis0(values, count, start);
    const uint64_t planeElements = extent[0] * extent[1];
    uint32_t* const line = lineState + start;
    uint32_t* const plane = planeState + j * extent[0] + start;
    if (passes == 1) {
        integrateInside<1>(values, count, {line}, {plane}, inverseScale, offset, out);
    } else {
        integrateInside<2>(values, count, {line, line + extent[0]}, {plane, plane + planeElements},
                           inverseScale, offset, out);
    }
}

void RowIntegrator::IntegrateZerosAndDequantise(uint32_t* values, uint64_t count, uint64_t start,
                                                uint64_t j, uint64_t k, float inverseScale,
                                                float offset, float* out) {
    // Empty space in smoke grids: a zero line integrates to the line before it, so only
    // the plane sums move.
    if (passes != 1 || !AllStagesInside(j, k) || start != 0) {
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
