// SPDX-License-Identifier: Apache-2.0
// The fields of a Field3D file as their group names and attributes describe them, read
// without touching voxel data. A field this module cannot import (unknown class, frustum
// mapping, contradictory boxes) stays in the catalogue with the reason, so that it is
// still listed, flagged, and refused by name only when someone maps it.
#pragma once

#include "plugins/f3dbridge/F3dMatrix.h"

#include <cstdint>
#include <hdf5.h>
#include <string>
#include <vector>

enum class F3dFieldClass { Dense, Sparse, Mac };

// An inclusive voxel box, as Field3D stores extents and data windows.
struct F3dBox {
    int32_t min[3];
    int32_t max[3];

    int64_t size(int axis) const { return static_cast<int64_t>(max[axis]) - min[axis] + 1; }
    // 0 when any axis is empty.
    int64_t voxelCount() const;
};

// One field (Field3D's layer):
//   partition        user-visible partition name: the group name up to its last '.'
//   group            the partition group's own name, "<partition>.<n>"
//   groupPath        "/<group>/<layer>", for opening its datasets
//   name             layer name, case-sensitive
//   fieldClass, components (1 or 3), bitsPerComponent (16 half, 32, 64): value type
//   extents          define the resolution and the local space of the mapping
//   dataWindow       the voxels actually stored; may be empty, offset or padded
//   blockOrder       sparse fields: blocks of 2^blockOrder voxels along each axis
//   voxelToWorld     continuous voxel coordinates (voxel i covers [i, i+1)) to world
//   unreadable       empty when the field can be imported, else the reason it cannot
struct F3dLayerInfo {
    std::string partition;
    std::string group;
    std::string groupPath;
    std::string name;
    F3dFieldClass fieldClass = F3dFieldClass::Dense;
    int32_t components = 0;
    int32_t bitsPerComponent = 0;
    F3dBox extents = {};
    F3dBox dataWindow = {};
    int32_t blockOrder = 0;
    F3dMatrix voxelToWorld = F3dMatrix::identity();
    std::string unreadable;
};

// Partitions and their layers in HDF5 name order, the order Field3D lists them in.
// Refuses (logged) only a file whose group tree cannot be walked at all.
std::vector<F3dLayerInfo> readF3dCatalogue(hid_t file, const char* path);
