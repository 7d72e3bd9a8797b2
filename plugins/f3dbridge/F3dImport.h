// SPDX-License-Identifier: Apache-2.0
// The reading core behind the module's entry points: listing a file's channels and
// filling a frame from it. Neither throws; both silence HDF5's error printing and log
// their reasons. The caller serialises calls (HDF5 is not thread-safe).
#pragma once

#include "korloader/CacheIO.h"
#include "plugins/f3dbridge/F3dResult.h"

#include <cstdint>

class FluxaFrameData;

// A frame's channels are indexed by 32-bit voxel counts: frames and fields beyond that
// are refused.
constexpr int64_t F3dDefaultVoxelBudget = INT32_MAX;

// Appends the file's channels (names as F3dChannelTable.h gives them); appends nothing
// for a file it cannot read.
void appendF3dChannels(const char* path, CacheIO::AvailableChannelList* channels);

// Fills frame's grid size, transform, channel mask and, unless headerOnly, the channel
// arrays of the mapped slots. Only a frame to be filled is held to voxelBudget. For each slot the
// first mapping that names a readable field of the file wins; mappings of missing fields are
// skipped, as are slots outside 0..31 and the internal packed-colour slot 18. Factor and reserved
// are not used.
F3dResult fillFrameFromF3d(const char* path, FluxaFrameData* frame, bool headerOnly,
                           const CacheIO::GridMapping* mappings, int count, int64_t voxelBudget);
