// SPDX-License-Identifier: Apache-2.0
// Turns one channel of a sparse grid into the dense x-fastest array of a frame. The frame's
// index space is that of its reference grid; a grid in the same index space is copied
// voxel for voxel, any other is resampled (trilinear, through world space). Inactive
// voxels read as the grid's background everywhere, also under the interpolation.
// Staggered vector grids are brought to cell centres: component c stored at voxel n lies
// on the lower face of cell n, so the centre value is the mean of voxels n and n + e_c.
#pragma once

#include <cstdint>
#include <openvdb/openvdb.h>

namespace vdbbridge {

// The active box of a grid, given in its own index space, as the box of frame voxels
// whose centres lie inside the grid's active cells. Throws ValueError when the box does
// not fit 32-bit coordinates.
openvdb::CoordBBox boxInFrameSpace(const openvdb::CoordBBox& activeBox,
                                   const openvdb::math::Transform& gridTransform,
                                   const openvdb::math::Transform& frameTransform);

struct DenseTarget {
    const openvdb::math::Transform* frameTransform;
    openvdb::CoordBBox box; // frame voxels, in the frame's index space
    float* values;          // box.volume() floats, x fastest
};

// Fills target.values from component `component` (-1 for scalar grids) of grid, scaled
// by factor. Grids of unsupported types leave the values untouched and return false.
bool fillDense(const openvdb::GridBase& grid, int component, bool staggered, double factor,
               const DenseTarget& target);

} // namespace vdbbridge
