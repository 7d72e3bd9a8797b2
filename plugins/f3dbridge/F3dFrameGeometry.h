// SPDX-License-Identifier: Apache-2.0
// The frame's voxel box and transform. The first mapped field fixes the voxel space; the
// box is the union of the mapped fields' data windows in that space. Frame voxel (i, j, k)
// has its centre at world t + i*e1 + j*e2 + k*e3; Field3D puts the centre of voxel v at
// v + 0.5, so t is the centre of the box's first voxel, not its corner.
#pragma once

#include "plugins/f3dbridge/F3dCatalogue.h"

#include <cstdint>

// How one mapped field's voxels reach the frame:
//   aligned       its voxels coincide with frame voxels: field index = frame index + offset
//   frameToField  otherwise: frame continuous coordinates (frame voxel f covers [f, f+1))
//                 to the field's continuous voxel coordinates, for resampling
struct F3dPlacement {
    bool aligned = false;
    int64_t offset[3] = {0, 0, 0};
    F3dMatrix frameToField = F3dMatrix::identity();
};

class F3dFrameGeometry {
public:
    // The reference field must be importable (its voxel-to-world matrix invertible).
    explicit F3dFrameGeometry(const F3dLayerInfo& reference);

    // Grows the box by the field's data window; an empty window adds nothing. Refuses
    // (logged) a box that leaves the index range the frame can address.
    void include(const F3dLayerInfo& field, const char* path);

    bool isEmpty() const { return boxMax[0] < boxMin[0]; }
    // Voxels in the box; only meaningful when not empty. Saturates at INT64_MAX.
    int64_t voxelCount() const;
    // Every extent fits the frame's 32-bit grid size.
    bool fitsGridSize() const;
    void gridSize(int32_t out[3]) const;
    // e1, e2, e3 (floats 0-8), then the centre of frame voxel (0, 0, 0) (floats 9-11).
    void transform(float out[12]) const;
    // Valid once the box is final.
    F3dPlacement place(const F3dLayerInfo& field) const;

private:
    // Field continuous voxel coordinates to the reference field's.
    F3dMatrix fieldToReference(const F3dLayerInfo& field) const;
    // Integer offset d with reference = field + d, when the two voxel spaces coincide.
    bool alignedOffset(const F3dMatrix& toReference, int64_t offset[3]) const;

    F3dMatrix referenceToWorld;
    F3dMatrix worldToReference;
    // Inclusive box in reference voxel indices; max < min while empty.
    int64_t boxMin[3];
    int64_t boxMax[3];
};
