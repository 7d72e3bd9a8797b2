// SPDX-License-Identifier: Apache-2.0
// Results of the module's import and export entry points. They reach the library's caller
// unchanged, so they stay clear of the library's own codes (0 to 10).
#pragma once

namespace vdbbridge {

enum VdbResult : int {
    VdbOk = 0,
    VdbBadArguments = 20,         // null path or frame, negative mapping count
    VdbUnreadableFile = 21,       // missing, truncated or not an OpenVDB file
    VdbNoMappedGrid = 22,         // no mapping names a grid the file holds
    VdbFrameTooLarge = 23,        // the dense box exceeds the voxel budget
    VdbUnsupportedTransform = 24, // the reference grid's transform is not affine
    VdbOutOfMemory = 25,
    VdbWriteFailed = 26,
    VdbInternalError = 27, // anything else that was thrown
};

// Dense frames beyond this many voxels (4 GiB per channel) are refused.
constexpr int64_t MaxFrameVoxels = int64_t(1) << 30;

} // namespace vdbbridge
