// SPDX-License-Identifier: Apache-2.0
// Fields are read one at a time, in slot order, and each is released once every slot it
// feeds is filled, so at most one field's payload is held besides the frame's own arrays.
#include "plugins/f3dbridge/F3dImport.h"

#include "frame/FluxaFrameData.h"
#include "plugins/f3dbridge/F3dChannelFill.h"
#include "plugins/f3dbridge/F3dChannelTable.h"
#include "plugins/f3dbridge/F3dFile.h"
#include "plugins/f3dbridge/F3dVoxels.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <exception>
#include <new>

namespace {

constexpr int SlotCount = 32;
// The packed colour slot holds 32-bit colour words, never floats from a file.
constexpr int PackedColorSlot = 18;

// The channel chosen for each slot, or null.
struct SlotSources {
    const F3dChannel* channel[SlotCount] = {};
    const F3dLayerInfo* reference = nullptr;
};

SlotSources resolveMappings(const std::vector<F3dLayerInfo>& layers,
                            const std::vector<F3dChannel>& channels,
                            const CacheIO::GridMapping* mappings, int count, const char* path) {
    SlotSources sources;
    for (int m = 0; m < count; ++m) {
        const CacheIO::GridMapping& mapping = mappings[m];
        const int slot = mapping.channel;
        const char* name = mapping.name.Chars();
        if (slot < 0 || slot >= SlotCount || slot == PackedColorSlot) {
            logMessage("f3dbridge: ignoring the mapping of %s to channel %d\n", name, slot);
            continue;
        }
        const F3dChannel* channel = findF3dChannel(channels, name);
        if (channel == nullptr || sources.channel[slot] != nullptr) {
            continue;
        }
        const F3dLayerInfo& layer = layers[channel->layer];
        if (!layer.unreadable.empty()) {
            logMessage("f3dbridge: skipping %s in %s: %s\n", layer.groupPath.c_str(), path,
                       layer.unreadable.c_str());
            continue;
        }
        sources.channel[slot] = channel;
        if (sources.reference == nullptr) {
            sources.reference = &layer;
        }
    }
    return sources;
}

void fillSlots(const F3dFile& file, const std::vector<F3dLayerInfo>& layers,
               const SlotSources& sources, const F3dFrameGeometry& geometry, FluxaFrameData* frame,
               const char* path, int64_t voxelBudget) {
    const uint64_t frameVoxels = static_cast<uint64_t>(geometry.voxelCount());
    bool done[SlotCount] = {};
    for (int first = 0; first < SlotCount; ++first) {
        if (sources.channel[first] == nullptr || done[first]) {
            continue;
        }
        const size_t layerIndex = sources.channel[first]->layer;
        const F3dLayerInfo& layer = layers[layerIndex];
        const F3dVoxels voxels = readF3dVoxels(file.id(), layer, path, voxelBudget);
        const F3dPlacement placement = geometry.place(layer);
        for (int slot = first; slot < SlotCount; ++slot) {
            const F3dChannel* channel = sources.channel[slot];
            if (channel == nullptr || channel->layer != layerIndex) {
                continue;
            }
            float* array = nullptr;
            if (!newArray(array, frameVoxels)) {
                refuseF3d(F3dResult::OutOfMemory, "f3dbridge: out of memory for channel %d of %s\n",
                          slot, path);
            }
            frame->channelData[slot] = array;
            const float* values =
                voxels.component[channel->component < 0 ? 0 : channel->component].get();
            if (values == nullptr) {
                std::fill(array, array + frameVoxels, 0.0f);
            } else {
                fillF3dChannel(array, frame->gridSize, placement, layer.dataWindow, values);
            }
            frame->channelMask |= 1u << slot;
            done[slot] = true;
        }
    }
}

F3dResult importOrRefuse(const char* path, FluxaFrameData* frame, bool headerOnly,
                         const CacheIO::GridMapping* mappings, int count, int64_t voxelBudget) {
    const F3dFile file(path);
    const std::vector<F3dLayerInfo> layers = readF3dCatalogue(file.id(), path);
    const std::vector<F3dChannel> channels = listF3dChannels(layers);
    const SlotSources sources = resolveMappings(layers, channels, mappings, count, path);
    if (sources.reference == nullptr) {
        refuseF3d(F3dResult::NoMappedField, "f3dbridge: no mapped field can be read from %s\n",
                  path);
    }
    F3dFrameGeometry geometry(*sources.reference);
    for (const F3dChannel* channel : sources.channel) {
        if (channel != nullptr) {
            geometry.include(layers[channel->layer], path);
        }
    }
    if (geometry.isEmpty()) {
        refuseF3d(F3dResult::NoVoxels, "f3dbridge: the mapped fields of %s hold no voxels\n", path);
    }
    if (!geometry.fitsGridSize() || (!headerOnly && geometry.voxelCount() > voxelBudget)) {
        refuseF3d(F3dResult::TooLarge,
                  "f3dbridge: the frame box of %s has %lld voxels, more than the limit of "
                  "%lld\n",
                  path, static_cast<long long>(geometry.voxelCount()),
                  static_cast<long long>(voxelBudget));
    }
    geometry.gridSize(frame->gridSize);
    geometry.transform(frame->transform);
    if (headerOnly) {
        for (int slot = 0; slot < SlotCount; ++slot) {
            if (sources.channel[slot] != nullptr) {
                frame->channelMask |= 1u << slot;
            }
        }
        return F3dResult::Ok;
    }
    fillSlots(file, layers, sources, geometry, frame, path, voxelBudget);
    return F3dResult::Ok;
}

} // namespace

void appendF3dChannels(const char* path, CacheIO::AvailableChannelList* channels) {
    const Hdf5ErrorScope errors;
    if (channels == nullptr) {
        return;
    }
    try {
        const F3dFile file(path);
        for (const F3dChannel& channel : listF3dChannels(readF3dCatalogue(file.id(), path))) {
            channels->Append(CacheIO::AvailableChannels(channel.name.c_str(), channel.flag));
        }
    } catch (const F3dRefusalException&) {
    } catch (const std::exception& error) {
        logMessage("f3dbridge: listing %s failed: %s\n", path, error.what());
    } catch (...) {
        logMessage("f3dbridge: listing %s failed\n", path);
    }
}

F3dResult fillFrameFromF3d(const char* path, FluxaFrameData* frame, bool headerOnly,
                           const CacheIO::GridMapping* mappings, int count, int64_t voxelBudget) {
    const Hdf5ErrorScope errors;
    if (frame == nullptr || (mappings == nullptr && count > 0)) {
        logMessage("f3dbridge: import of %s without a frame or mappings\n",
                   path != nullptr ? path : "(null)");
        return F3dResult::Unexpected;
    }
    try {
        return importOrRefuse(path, frame, headerOnly, mappings, count, voxelBudget);
    } catch (const F3dRefusalException& refusal) {
        return refusal.result;
    } catch (const std::bad_alloc&) {
        logMessage("f3dbridge: out of memory importing %s\n", path);
        return F3dResult::OutOfMemory;
    } catch (const std::exception& error) {
        logMessage("f3dbridge: importing %s failed: %s\n", path, error.what());
    } catch (...) {
        logMessage("f3dbridge: importing %s failed\n", path);
    }
    return F3dResult::Unexpected;
}
