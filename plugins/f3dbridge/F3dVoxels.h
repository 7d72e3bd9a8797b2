// SPDX-License-Identifier: Apache-2.0
// Reads the voxel payload of one field into plain float arrays over its data window. Half
// values are converted exactly, doubles rounded once; MAC faces are averaged to the voxel
// centres the way Field3D's own value lookup does; unallocated sparse blocks take their
// stored empty value.
#pragma once

#include "plugins/f3dbridge/F3dCatalogue.h"

#include <cstdint>
#include <hdf5.h>
#include <memory>

// One float array per component, data-window sized, x fastest, then y, then z; storage
// index 0 is voxel dataWindow.min. Components a field lacks stay null.
struct F3dVoxels {
    int64_t size[3] = {0, 0, 0};
    std::unique_ptr<float[]> component[3];
};

// Refuses (logged) a field larger than voxelBudget voxels and payloads that contradict the
// field's descriptor: a wrong element type, a wrong length or a missing dataset.
F3dVoxels readF3dVoxels(hid_t file, const F3dLayerInfo& layer, const char* path,
                        int64_t voxelBudget);
