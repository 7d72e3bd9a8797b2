// SPDX-License-Identifier: Apache-2.0
// Channels are read through the frame's interface, so channels still compressed in a
// cache frame are decoded on the way out.
#include "plugins/vdbbridge/VdbFrameExport.h"

#include "frame/FluxaFrameData.h"
#include "plugins/vdbbridge/VdbGridCatalog.h"
#include "plugins/vdbbridge/VdbResults.h"
#include "support/Messages.h"

#include <new>
#include <openvdb/io/File.h>

namespace vdbbridge {

namespace {

// clang-format off
constexpr const char* SlotNames[FluxaEnum::GridChannelCount] = {
    "Channel0_flx", "Temperature_flx", "Smoke_flx", "Speed_flx",
    "VelocityX_flx", "VelocityY_flx", "VelocityZ_flx",
    "ColorR_flx", "ColorG_flx", "ColorB_flx", "Fuel_flx",
    "Channel11_flx", "Channel12_flx", "Channel13_flx", "Wavelet_flx",
    "AdvectionOriginX_flx", "AdvectionOriginY_flx", "AdvectionOriginZ_flx",
    "Channel18_flx", "TextureU_flx", "TextureV_flx", "TextureW_flx",
    "Channel22_flx", "Channel23_flx", "Channel24_flx", "Channel25_flx", "Channel26_flx",
    "Channel27_flx", "Channel28_flx", "Channel29_flx", "Channel30_flx", "Channel31_flx",
};
// clang-format on

bool isExported(FluxaFrameData& frame, int slot) {
    if (slot == FluxaEnum::PackedColor) {
        return false;
    }
    // A derived speed would come back as an extra grid the default mapping does not know.
    if (slot == FluxaEnum::Speed && ((frame.channelMask >> slot) & 1u) == 0) {
        return false;
    }
    return static_cast<IKor&>(frame).hasChannel(slot) != 0;
}

openvdb::math::Transform::Ptr frameTransform(const FluxaFrameData& frame) {
    openvdb::Mat4d m = openvdb::Mat4d::identity();
    for (int row = 0; row < 4; ++row) {
        for (int c = 0; c < 3; ++c) {
            m[row][c] = frame.transform[3 * row + c];
        }
    }
    return openvdb::math::Transform::createLinearTransform(m);
}

openvdb::FloatGrid::Ptr channelGrid(const float* values, const int32_t (&dims)[3]) {
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    auto accessor = grid->getAccessor();
    const float* value = values;
    for (int32_t k = 0; k < dims[2]; ++k) {
        for (int32_t j = 0; j < dims[1]; ++j) {
            for (int32_t i = 0; i < dims[0]; ++i, ++value) {
                if (*value != 0.0f) {
                    accessor.setValue(openvdb::Coord(i, j, k), *value);
                }
            }
        }
    }
    if (dims[0] > 0 && dims[1] > 0 && dims[2] > 0) {
        accessor.setValueOn(openvdb::Coord(0, 0, 0));
        accessor.setValueOn(openvdb::Coord(dims[0] - 1, dims[1] - 1, dims[2] - 1));
    }
    return grid;
}

int writeFrame(const char* path, FluxaFrameData& frame) {
    const int32_t dims[3] = {frame.gridSize[0], frame.gridSize[1], frame.gridSize[2]};
    if (dims[0] < 0 || dims[1] < 0 || dims[2] < 0 || int64_t(dims[0]) * dims[1] > MaxFrameVoxels ||
        int64_t(dims[0]) * dims[1] * dims[2] > MaxFrameVoxels) {
        logMessage("vdbbridge: %s: cannot export a frame of %d x %d x %d voxels\n", path, dims[0],
                   dims[1], dims[2]);
        return VdbBadArguments;
    }
    const openvdb::math::Transform::Ptr transform = frameTransform(frame);
    openvdb::GridPtrVec grids;
    for (int slot = 0; slot < FluxaEnum::GridChannelCount; ++slot) {
        if (!isExported(frame, slot)) {
            continue;
        }
        // Through the interface: the module does not link the frame's own code.
        const float* values = static_cast<IKor&>(frame).getChannel(slot);
        if (values == nullptr) {
            logMessage("vdbbridge: %s: channel %d could not be read for export\n", path, slot);
            return VdbWriteFailed;
        }
        openvdb::FloatGrid::Ptr grid = channelGrid(values, dims);
        grid->setName(exportGridName(slot));
        grid->setTransform(transform);
        grids.push_back(grid);
    }
    openvdb::MetaMap fileMetadata;
    fileMetadata.insertMeta(CreatorKey, openvdb::StringMetadata(CreatorValue));
    openvdb::io::File(path).write(grids, fileMetadata);
    return VdbOk;
}

} // namespace

const char* exportGridName(int slot) {
    return slot >= 0 && slot < FluxaEnum::GridChannelCount ? SlotNames[slot] : "";
}

int exportFrame(const char* path, FluxaFrameData& frame) {
    try {
        return writeFrame(path, frame);
    } catch (const std::bad_alloc&) {
        logMessage("vdbbridge: %s: out of memory\n", path);
        return VdbOutOfMemory;
    } catch (const std::exception& error) {
        logMessage("vdbbridge: %s: export failed: %s\n", path, error.what());
        return VdbWriteFailed;
    } catch (...) {
        logMessage("vdbbridge: %s: export failed\n", path);
        return VdbWriteFailed;
    }
}

} // namespace vdbbridge
