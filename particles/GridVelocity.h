// SPDX-License-Identifier: Apache-2.0
// The velocity that a group without its own velocity channel takes from the frame's grid.
#pragma once

#include "frame/FluxaFrameData.h"

// Samples the frame's velocity grids trilinearly at position, given in voxel units
// without the frame's transform; positions outside the grid take the nearest border
// voxels. False, and nothing written, unless the frame decodes all three velocity grids.
bool sampleGridVelocity(FluxaFrameData& frame, const float* position, float* out);
