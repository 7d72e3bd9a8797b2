// SPDX-License-Identifier: Apache-2.0
// Results of the module's import and export entry points. They reach the library's caller
// unchanged, so they stay clear of the library's own codes (0 to 10).
#pragma once

#include <cstdint>

namespace vdbbridge {

enum VdbResult : int {
    VdbOk = 0,
    VdbBadArguments = 20,         // null path or frame, negative mapping count
    VdbUnreadableFile = 21,       // missing, truncated or not an OpenVDB file
    VdbNoMappedGrid = 22,         // no mapping names a grid the file holds
    VdbFrameTooLarge = 23,        // the dense box exceeds the frame's voxel limit
    VdbUnsupportedTransform = 24, // the reference grid's transform is not affine
    VdbOutOfMemory = 25,          // a channel or grid could not be allocated
    VdbWriteFailed = 26,
    VdbInternalError = 27, // anything else that was thrown
};

// A frame's channels are indexed by 32-bit voxel counts: larger dense frames are refused.
constexpr int64_t MaxFrameVoxels = INT32_MAX;

} // namespace vdbbridge
