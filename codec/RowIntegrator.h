// SPDX-License-Identifier: Apache-2.0
// Undoes the differencing passes of a coded block while its integers arrive in memory
// order, a span of one axis-0 line at a time. The passes along different axes commute, so
// each axis is integrated on its own: along axis 0 with one running sum per pass, along
// axis 1 with one line per pass, along axis 2 with one plane per pass. That state never
// exceeds the grid, and for one pass it is one line and one plane.
#pragma once

#include <cstdint>

// out[t] = float(values[t] as signed) * inverseScale + offset, rounded after each step.
void dequantiseValues(const uint32_t* values, uint64_t count, float inverseScale, float offset,
                      float* out);

// Fields:
//   extent          the grid; extent[1] and extent[2] are 1 for one-axis data
//   passes          differencing passes to undo
//   rowStages       passes that touch axis 0 (a pass p does only when p < extent[0])
//   lineStages      passes that touch axis 1
//   planeStages     passes that touch axis 2
//   lineState       lineStages lines of extent[0]: each stage's last output line
//   planeState      planeStages planes of extent[0] * extent[1]
//   runningSums     per pass, the last output along axis 0 of the current line
// All sums wrap at 32 bits, as the encoder's differences did.
class RowIntegrator {
public:
    RowIntegrator() = default;
    ~RowIntegrator();
    RowIntegrator(const RowIntegrator&) = delete;
    RowIntegrator& operator=(const RowIntegrator&) = delete;

    // Integer state needed for this grid and pass count, in elements.
    static uint64_t StateElements(const uint64_t extent[3], uint32_t passes);
    // Allocates the state; false when memory runs out.
    bool Init(const uint64_t extent[3], uint32_t passes);

    // Integrates values[0..count) in place: elements start .. start + count - 1 of the
    // line (j, k). Lines come in memory order, and a line's spans in order.
    void Integrate(uint32_t* values, uint64_t count, uint64_t start, uint64_t j, uint64_t k);

    // Integrate, then out[t] = float(values[t]) * inverseScale + offset. One pass over the
    // span for the common single pass; values is left in an unspecified state.
    void IntegrateAndDequantise(uint32_t* values, uint64_t count, uint64_t start, uint64_t j,
                                uint64_t k, float inverseScale, float offset, float* out);

    // IntegrateAndDequantise for a span of zeros; values is scratch for count elements.
    void IntegrateZerosAndDequantise(uint32_t* values, uint64_t count, uint64_t start, uint64_t j,
                                     uint64_t k, float inverseScale, float offset, float* out);

private:
    // A line that every line and plane stage touches, for the one and two pass grids that
    // have a sweep of their own.
    bool AllStagesInside(uint64_t j, uint64_t k) const {
        return (passes == 1 || passes == 2) && lineStages == passes && planeStages == passes &&
               j >= passes && k >= passes;
    }
    void IntegrateAxis0(uint32_t* values, uint64_t count, uint64_t start);

    uint64_t extent[3] = {0, 0, 0};
    uint32_t passes = 0;
    uint32_t rowStages = 0;
    uint32_t lineStages = 0;
    uint32_t planeStages = 0;
    uint32_t* lineState = nullptr;
    uint32_t* planeState = nullptr;
    uint32_t runningSums[256] = {};
};
