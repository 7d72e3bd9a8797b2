// SPDX-License-Identifier: Apache-2.0
// Builds one dense frame from the mapped grids of an OpenVDB file.
//
// Frame convention, shared by every imported frame: frame voxel (i, j, k), stored at
// i + gx * (j + gy * k), has its centre at world t + i * e1 + j * e2 + k * e3, where e1,
// e2, e3 are floats 0-2, 3-5, 6-8 of the transform and t floats 9-11. Voxel centres sit
// at integer indices, as in OpenVDB's index space; voxel (0, 0, 0) is the lowest corner
// of the union of the mapped grids' active boxes in the first mapped grid's index space.
#pragma once

#include "korloader/CacheIO.h"
#include "plugins/vdbbridge/VdbResults.h"

#include <cstdint>

class FluxaFrameData;

namespace vdbbridge {

// Fills frame from the file at path with the count mappings. A slot is fed by the first
// mapping, in mapping order, whose grid the file holds; mappings to slots outside 0..31,
// to slot 18 or to absent grids are skipped. headerOnly fills grid size, transform and
// channel mask and reads no voxel, whatever the frame's size. A frame to be filled with
// more than voxelBudget voxels is refused. orientation becomes 1 for files this module
// wrote and 0 otherwise. Returns a VdbResult and logs the reason of any failure; never
// throws.
int importFrame(const char* path, FluxaFrameData& frame, int& orientation, bool headerOnly,
                const CacheIO::GridMapping* mappings, int count,
                int64_t voxelBudget = MaxFrameVoxels);

} // namespace vdbbridge
