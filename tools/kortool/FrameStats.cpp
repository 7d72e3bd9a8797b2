// SPDX-License-Identifier: Apache-2.0
#include "FrameStats.h"

#include "tools/common/FrameNames.h"

namespace kortool {

FrameHandle openFrame(const std::string& path, const std::string& mapping) {
    return FrameHandle(mapping.empty() ? newIKor(path.c_str())
                                       : newIKorWithChannelsMapping(path.c_str(), mapping.c_str()));
}

long long voxelCount(IKor& frame) {
    int size[3];
    frame.getGridSize(size);
    if (size[0] < 0 || size[1] < 0 || size[2] < 0) {
        return 0;
    }
    return (long long)size[0] * size[1] * size[2];
}

std::vector<ChannelStats> channelStats(IKor& frame) {
    const long long voxels = voxelCount(frame);
    std::vector<ChannelStats> channels;
    for (int slot = 0; slot < FluxaEnum::GridChannelCount; ++slot) {
        if (!frame.hasChannel(slot)) {
            continue;
        }
        ChannelStats stats;
        stats.slot = slot;
        stats.name = gridChannelName(slot);
        stats.values = frame.getChannel(slot);
        if (stats.values != nullptr && voxels > 0) {
            stats.min = stats.max = stats.values[0];
            double sum = 0;
            for (long long v = 0; v < voxels; ++v) {
                const float value = stats.values[v];
                stats.min = value < stats.min ? value : stats.min;
                stats.max = value > stats.max ? value : stats.max;
                sum += value;
            }
            stats.mean = sum / double(voxels);
        }
        channels.push_back(stats);
    }
    return channels;
}

std::vector<GroupStats> groupStats(IKor& frame) {
    std::vector<GroupStats> groups;
    const int count = frame.getParticleGroupCount();
    for (int g = 0; g < count; ++g) {
        IFluxaSimPrtGroup* group = frame.getParticleGroup(unsigned(g));
        if (group == nullptr) {
            continue;
        }
        GroupStats stats;
        stats.name = group->getName();
        stats.count = group->getParticleCount();
        for (int channel = 0; channel < 32; ++channel) {
            if (group->getChannelSize(channel) > 0 && group->hasChannel(channel)) {
                stats.channels.push_back(channel);
            }
        }
        groups.push_back(stats);
    }
    return groups;
}

} // namespace kortool
