// SPDX-License-Identifier: Apache-2.0
// What an OpenVDB file holds, read from its grid descriptors and grid headers only: no
// voxel is loaded. Grids are listed in the order they are stored, which io::File does
// not expose (it sorts them by name).
#pragma once

#include <openvdb/openvdb.h>
#include <string>
#include <vector>

namespace vdbbridge {

enum class VdbValueKind { Float, Double, Int32, Int64, Bool, Vec3f, Vec3d, Unsupported };

// One grid of a file:
//   name        the grid's name; several grids of a file may share it
//   lookupName  the descriptor's unique name as io::File::readGrid accepts it
//   kind        value type; Unsupported grids (points, strings, masks...) are never channels
//   levelSet    grid class "level set": a distance field, not a density
//   staggered   grid class "staggered": vector components sit on the lower cell faces
//   activeBox   active voxel box from the grid statistics; hasActiveBox is false when the
//               writer stored none. An empty box means no active voxel
//   transform   index-to-world transform
struct VdbGridInfo {
    std::string name;
    std::string lookupName;
    VdbValueKind kind = VdbValueKind::Unsupported;
    bool levelSet = false;
    bool staggered = false;
    bool hasActiveBox = false;
    openvdb::CoordBBox activeBox;
    openvdb::math::Transform::Ptr transform;
};

using VdbGridCatalog = std::vector<VdbGridInfo>;

// The file metadata entry that marks files this module wrote: their transforms are
// already in the library's axes.
constexpr const char* CreatorKey = "creator";
constexpr const char* CreatorValue = "vdbbridge";

struct VdbFileInfo {
    bool writtenByBridge = false;
    VdbGridCatalog grids;
};

// Reads the grids of the file at path. Throws (OpenVDB exceptions or std::exception) on
// a file that cannot be opened or is not a well-formed OpenVDB file.
VdbFileInfo readFileInfo(const std::string& path);

bool isVectorKind(VdbValueKind kind);

} // namespace vdbbridge
