// SPDX-License-Identifier: Apache-2.0
// What kortool reports about an opened frame: each present grid channel with its range
// and mean, and each particle group with its channels.
#pragma once

#include <korloader/IKor.h>
#include <memory>
#include <string>
#include <vector>

namespace kortool {

struct FrameRelease {
    void operator()(IKor* frame) const { deleteIKor(frame); }
};
using FrameHandle = std::unique_ptr<IKor, FrameRelease>;

// Opens path with the mapping, or with the path's default mapping when it is empty.
FrameHandle openFrame(const std::string& path, const std::string& mapping = "");

struct ChannelStats {
    int slot = 0;
    std::string name;
    // Null when the channel is reported present but cannot be decoded.
    const float* values = nullptr;
    float min = 0;
    float max = 0;
    double mean = 0;
};

struct GroupStats {
    std::string name;
    int count = 0;
    std::vector<int> channels;
};

// Voxels of the frame's grid (0 for a negative extent).
long long voxelCount(IKor& frame);

// Every channel the frame reports present, decoded, in slot order.
std::vector<ChannelStats> channelStats(IKor& frame);

// Every particle group with positions, with the channels it reports present.
std::vector<GroupStats> groupStats(IKor& frame);

} // namespace kortool
