// SPDX-License-Identifier: Apache-2.0
// What an OpenVDB file holds, read from its grid descriptors and grid headers only: no
// voxel is loaded. Grids are listed in the order they are stored, which io::File does
// not expose (it sorts them by name). Grids are then read from the descriptors found
// here, each only after its stored tree has been checked.
#pragma once

#include "plugins/vdbbridge/VdbTreeCheck.h"

#include <openvdb/io/GridDescriptor.h>
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
//   descriptor  the grid's descriptor: type, names and positions in the file
//   treeGrid    index of the grid whose stored tree this grid uses: its own, or for an
//               instance its parent's; -1 when the parent is missing or an instance
//   treePos     where the grid's stored tree starts
//   stored      how the tree stores its values
struct VdbGridInfo {
    std::string name;
    std::string lookupName;
    VdbValueKind kind = VdbValueKind::Unsupported;
    bool levelSet = false;
    bool staggered = false;
    bool hasActiveBox = false;
    openvdb::CoordBBox activeBox;
    openvdb::math::Transform::Ptr transform;
    openvdb::io::GridDescriptor descriptor;
    int treeGrid = -1;
    std::streamoff treePos = 0;
    VdbStoredValues stored;
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

// Reads grid gridIndex of file, as readFileInfo described the file at path, with its
// tree and voxels. Its stored tree is checked first (VdbTreeCheck.h). Throws as
// readFileInfo does, openvdb::IoError for a tree that does not fit.
openvdb::GridBase::Ptr readGrid(const std::string& path, const VdbFileInfo& file, int gridIndex);

bool isVectorKind(VdbValueKind kind);

} // namespace vdbbridge
