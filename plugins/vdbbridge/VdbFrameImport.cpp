// SPDX-License-Identifier: Apache-2.0
// The grids are read first (or only their headers), then the frame box is the union of
// their active boxes, so that every channel of the frame shares one box and transform.
#include "plugins/vdbbridge/VdbFrameImport.h"

#include "frame/FluxaFrameData.h"
#include "plugins/vdbbridge/VdbChannelNames.h"
#include "plugins/vdbbridge/VdbDenseFill.h"
#include "plugins/vdbbridge/VdbResults.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace vdbbridge {

namespace {

struct SlotAssignment {
    int slot;
    ChannelSource source;
    double factor;
};

std::vector<SlotAssignment> assignSlots(const VdbGridCatalog& grids,
                                        const CacheIO::GridMapping* mappings, int count) {
    std::vector<SlotAssignment> assignments;
    uint32_t takenSlots = 0;
    for (int m = 0; m < count; ++m) {
        const CacheIO::GridMapping& mapping = mappings[m];
        const int slot = mapping.channel;
        if (mapping.name.Chars() == nullptr || slot < 0 || slot >= FluxaEnum::GridChannelCount ||
            slot == FluxaEnum::PackedColor || (takenSlots >> slot) & 1u) {
            continue;
        }
        ChannelSource source;
        if (findChannelSource(grids, mapping.name.Chars(), source)) {
            takenSlots |= 1u << slot;
            assignments.push_back({slot, source, mapping.factor});
        }
    }
    return assignments;
}

// A mapped grid: loaded, or described by its header alone.
struct MappedGrid {
    openvdb::GridBase::ConstPtr grid;
    openvdb::CoordBBox activeBox;
    openvdb::math::Transform::ConstPtr transform;
};

class GridLoader {
public:
    GridLoader(const char* filePath, const VdbFileInfo& fileInfo, bool headerValuesOnly)
        : path(filePath), file(fileInfo), headerOnly(headerValuesOnly) {}

    const MappedGrid& Get(int gridIndex) {
        auto found = loaded.find(gridIndex);
        if (found != loaded.end()) {
            return found->second;
        }
        const VdbGridInfo& info = file.grids[static_cast<size_t>(gridIndex)];
        MappedGrid mapped;
        if (headerOnly && info.hasActiveBox && info.transform) {
            mapped.activeBox = info.activeBox;
            mapped.transform = info.transform;
        } else {
            // Files written without grid statistics name no box: the header-only path
            // has to read such grids too.
            openvdb::GridBase::Ptr grid = readGrid(path, file, gridIndex);
            if (!grid->baseTree().evalActiveVoxelBoundingBox(mapped.activeBox)) {
                mapped.activeBox = openvdb::CoordBBox();
            }
            mapped.transform = grid->transformPtr();
            mapped.grid = grid;
        }
        return loaded.emplace(gridIndex, mapped).first->second;
    }

private:
    std::string path;
    const VdbFileInfo& file;
    bool headerOnly;
    std::map<int, MappedGrid> loaded;
};

// Dimensions of box, or false (logged) when they do not fit the frame: each extent must
// fit its 32-bit field, and a frame that gets voxels at most voxelBudget of them.
bool frameDimensions(const openvdb::CoordBBox& box, const char* path, int64_t voxelBudget,
                     int64_t (&dims)[3]) {
    if (box.empty()) {
        dims[0] = dims[1] = dims[2] = 0;
        return true;
    }
    for (int axis = 0; axis < 3; ++axis) {
        dims[axis] = int64_t(box.max()[axis]) - box.min()[axis] + 1;
    }
    const bool extentsFit = std::max({dims[0], dims[1], dims[2]}) <= INT32_MAX;
    // Each extent is below 2^33, so the first product cannot overflow.
    const int64_t plane = dims[0] * dims[1];
    if (!extentsFit ||
        (voxelBudget >= 0 && (plane > voxelBudget || plane * dims[2] > voxelBudget))) {
        logMessage("vdbbridge: %s: a dense frame of %lld x %lld x %lld voxels exceeds the "
                   "limit of %lld voxels\n",
                   path, static_cast<long long>(dims[0]), static_cast<long long>(dims[1]),
                   static_cast<long long>(dims[2]), static_cast<long long>(voxelBudget));
        return false;
    }
    return true;
}

void setFrameTransform(const openvdb::math::Transform& transform, const openvdb::Coord& origin,
                       FluxaFrameData& frame) {
    const openvdb::Mat4d m = transform.baseMap()->getAffineMap()->getMat4();
    for (int c = 0; c < 3; ++c) {
        for (int axis = 0; axis < 3; ++axis) {
            frame.transform[3 * axis + c] = static_cast<float>(m[axis][c]);
        }
        const double t =
            m[3][c] + origin.x() * m[0][c] + origin.y() * m[1][c] + origin.z() * m[2][c];
        frame.transform[9 + c] = static_cast<float>(t);
    }
}

int fillFrame(const char* path, FluxaFrameData& frame, int& orientation, bool headerOnly,
              const CacheIO::GridMapping* mappings, int count, int64_t voxelBudget) {
    const VdbFileInfo file = readFileInfo(path);
    orientation = file.writtenByBridge ? 1 : 0;
    const std::vector<SlotAssignment> assignments = assignSlots(file.grids, mappings, count);
    if (assignments.empty()) {
        logMessage("vdbbridge: %s holds none of the %d mapped grids\n", path, count);
        return VdbNoMappedGrid;
    }

    GridLoader loader(path, file, headerOnly);
    const openvdb::math::Transform::ConstPtr frameTransform =
        loader.Get(assignments.front().source.gridIndex).transform;
    if (!frameTransform->isLinear()) {
        logMessage("vdbbridge: %s: the grid %s has a non-affine transform\n", path,
                   file.grids[assignments.front().source.gridIndex].name.c_str());
        return VdbUnsupportedTransform;
    }
    openvdb::CoordBBox box;
    for (const SlotAssignment& assignment : assignments) {
        const MappedGrid& mapped = loader.Get(assignment.source.gridIndex);
        box.expand(boxInFrameSpace(mapped.activeBox, *mapped.transform, *frameTransform));
    }
    int64_t dims[3];
    // A header-only import reads no voxel, so only the extents must fit.
    if (!frameDimensions(box, path, headerOnly ? -1 : voxelBudget, dims)) {
        return VdbFrameTooLarge;
    }
    const openvdb::Coord origin = box.empty() ? openvdb::Coord(0) : box.min();
    setFrameTransform(*frameTransform, origin, frame);
    for (int axis = 0; axis < 3; ++axis) {
        frame.gridSize[axis] = static_cast<int32_t>(dims[axis]);
    }
    for (const SlotAssignment& assignment : assignments) {
        frame.channelMask |= 1u << assignment.slot;
    }
    if (headerOnly) {
        return VdbOk;
    }

    const uint64_t voxels = uint64_t(dims[0] * dims[1] * dims[2]);
    for (const SlotAssignment& assignment : assignments) {
        float*& slot = frame.channelData[assignment.slot];
        delete[] slot;
        if (!newArray(slot, voxels)) {
            logMessage("vdbbridge: %s: out of memory for channel %d of %llu voxels\n", path,
                       assignment.slot, static_cast<unsigned long long>(voxels));
            return VdbOutOfMemory;
        }
        if (voxels == 0) {
            continue;
        }
        const VdbGridInfo& info = file.grids[assignment.source.gridIndex];
        const DenseTarget target{frameTransform.get(), box, slot};
        fillDense(*loader.Get(assignment.source.gridIndex).grid, assignment.source.component,
                  info.staggered, assignment.factor, target);
    }
    return VdbOk;
}

} // namespace

int importFrame(const char* path, FluxaFrameData& frame, int& orientation, bool headerOnly,
                const CacheIO::GridMapping* mappings, int count, int64_t voxelBudget) {
    try {
        return fillFrame(path, frame, orientation, headerOnly, mappings, count, voxelBudget);
    } catch (const std::bad_alloc&) {
        logMessage("vdbbridge: %s: out of memory\n", path);
        return VdbOutOfMemory;
    } catch (const openvdb::Exception& error) {
        logMessage("vdbbridge: %s: %s\n", path, error.what());
        return VdbUnreadableFile;
    } catch (const std::exception& error) {
        logMessage("vdbbridge: %s: %s\n", path, error.what());
        return VdbInternalError;
    } catch (...) {
        logMessage("vdbbridge: %s: unexpected failure\n", path);
        return VdbInternalError;
    }
}

} // namespace vdbbridge
