// SPDX-License-Identifier: Apache-2.0
// Writes one component of a field into a frame channel. Aligned fields are copied voxel
// for voxel; others are sampled trilinearly between voxel centres, as Field3D's linear
// interpolation does, clamped inside the field's data window. Frame voxels outside the
// field's data window get 0: Field3D stores no value there.
#pragma once

#include "plugins/f3dbridge/F3dFrameGeometry.h"

#include <cstdint>

// out holds gridSize product floats; values is the field component over its data window.
void fillF3dChannel(float* out, const int32_t gridSize[3], const F3dPlacement& placement,
                    const F3dBox& dataWindow, const float* values);
