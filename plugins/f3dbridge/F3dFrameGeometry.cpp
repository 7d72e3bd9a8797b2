// SPDX-License-Identifier: Apache-2.0
#include "plugins/f3dbridge/F3dFrameGeometry.h"

#include "plugins/f3dbridge/F3dResult.h"

#include <algorithm>
#include <cmath>

namespace {

// Frame indices stay well inside 32 bits, as gridSize is 32-bit.
constexpr double MaxAbsIndex = 1 << 30;
// Voxel spaces that agree this closely are the same space; mappings written from the same
// floats agree to the last bit, so this only absorbs the inversion's rounding.
constexpr double AlignmentTolerance = 1e-9;
// A voxel whose centre lies this close outside a resampled field's box still counts.
constexpr double CentreTolerance = 1e-6;

} // namespace

F3dFrameGeometry::F3dFrameGeometry(const F3dLayerInfo& reference)
    : referenceToWorld(reference.voxelToWorld),
      worldToReference(F3dMatrix::identity()), boxMin{1, 1, 1}, boxMax{0, 0, 0} {
    referenceToWorld.inverse(worldToReference);
}

F3dMatrix F3dFrameGeometry::fieldToReference(const F3dLayerInfo& field) const {
    return field.voxelToWorld * worldToReference;
}

bool F3dFrameGeometry::alignedOffset(const F3dMatrix& toReference, int64_t offset[3]) const {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const double expected = r == c ? 1.0 : 0.0;
            if (!(std::fabs(toReference.m[r][c] - expected) <= AlignmentTolerance)) {
                return false;
            }
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        const double shift = toReference.m[3][axis];
        const double rounded = std::nearbyint(shift);
        if (!(std::fabs(shift - rounded) <= 1e-6) || !(std::fabs(rounded) <= MaxAbsIndex)) {
            return false;
        }
        offset[axis] = static_cast<int64_t>(rounded);
    }
    return true;
}

void F3dFrameGeometry::include(const F3dLayerInfo& field, const char* path) {
    const F3dBox& window = field.dataWindow;
    if (window.voxelCount() == 0) {
        return;
    }
    const F3dMatrix toReference = fieldToReference(field);
    int64_t low[3];
    int64_t high[3];
    int64_t offset[3];
    if (alignedOffset(toReference, offset)) {
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = window.min[axis] + offset[axis];
            high[axis] = window.max[axis] + offset[axis];
        }
    } else {
        // The window's corners [min, max + 1] in reference space; the frame takes every
        // reference voxel whose centre lies inside their bounds.
        double lowBound[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
        double highBound[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (int corner = 0; corner < 8; ++corner) {
            double point[3];
            for (int axis = 0; axis < 3; ++axis) {
                point[axis] = (corner >> axis & 1) != 0
                                  ? static_cast<double>(window.max[axis]) + 1.0
                                  : static_cast<double>(window.min[axis]);
            }
            double mapped[3];
            toReference.transformPoint(point, mapped);
            for (int axis = 0; axis < 3; ++axis) {
                lowBound[axis] = std::min(lowBound[axis], mapped[axis]);
                highBound[axis] = std::max(highBound[axis], mapped[axis]);
            }
        }
        for (int axis = 0; axis < 3; ++axis) {
            // Also false for NaN.
            if (!(std::fabs(lowBound[axis]) <= MaxAbsIndex) ||
                !(std::fabs(highBound[axis]) <= MaxAbsIndex)) {
                refuseF3d(F3dResult::TooLarge,
                          "f3dbridge: %s in %s lies too far from the first mapped field\n",
                          field.groupPath.c_str(), path);
            }
            low[axis] = static_cast<int64_t>(std::ceil(lowBound[axis] - 0.5 - CentreTolerance));
            high[axis] = static_cast<int64_t>(std::floor(highBound[axis] - 0.5 + CentreTolerance));
        }
    }
    if (low[0] > high[0] || low[1] > high[1] || low[2] > high[2]) {
        return;
    }
    const bool wasEmpty = isEmpty();
    for (int axis = 0; axis < 3; ++axis) {
        boxMin[axis] = wasEmpty ? low[axis] : std::min(boxMin[axis], low[axis]);
        boxMax[axis] = wasEmpty ? high[axis] : std::max(boxMax[axis], high[axis]);
        if (boxMax[axis] - boxMin[axis] >= INT32_MAX) {
            refuseF3d(F3dResult::TooLarge, "f3dbridge: the frame box of %s is too large\n", path);
        }
    }
}

int64_t F3dFrameGeometry::voxelCount() const {
    int64_t count = 1;
    for (int axis = 0; axis < 3; ++axis) {
        const int64_t n = boxMax[axis] - boxMin[axis] + 1;
        if (count > INT64_MAX / n) {
            return INT64_MAX;
        }
        count *= n;
    }
    return count;
}

bool F3dFrameGeometry::fitsGridSize() const {
    for (int axis = 0; axis < 3; ++axis) {
        if (boxMax[axis] - boxMin[axis] + 1 > INT32_MAX) {
            return false;
        }
    }
    return true;
}

void F3dFrameGeometry::gridSize(int32_t out[3]) const {
    for (int axis = 0; axis < 3; ++axis) {
        out[axis] = static_cast<int32_t>(boxMax[axis] - boxMin[axis] + 1);
    }
}

void F3dFrameGeometry::transform(float out[12]) const {
    const double firstCentre[3] = {static_cast<double>(boxMin[0]) + 0.5,
                                   static_cast<double>(boxMin[1]) + 0.5,
                                   static_cast<double>(boxMin[2]) + 0.5};
    double origin[3];
    referenceToWorld.transformPoint(firstCentre, origin);
    for (int axis = 0; axis < 3; ++axis) {
        for (int c = 0; c < 3; ++c) {
            out[axis * 3 + c] = static_cast<float>(referenceToWorld.m[axis][c]);
        }
        out[9 + axis] = static_cast<float>(origin[axis]);
    }
}

F3dPlacement F3dFrameGeometry::place(const F3dLayerInfo& field) const {
    F3dPlacement placement;
    const F3dMatrix toReference = fieldToReference(field);
    int64_t shift[3];
    if (alignedOffset(toReference, shift)) {
        placement.aligned = true;
        for (int axis = 0; axis < 3; ++axis) {
            placement.offset[axis] = boxMin[axis] - shift[axis];
        }
        return placement;
    }
    F3dMatrix referenceToField;
    toReference.inverse(referenceToField);
    placement.frameToField =
        F3dMatrix::translation(static_cast<double>(boxMin[0]), static_cast<double>(boxMin[1]),
                               static_cast<double>(boxMin[2])) *
        referenceToField;
    return placement;
}
