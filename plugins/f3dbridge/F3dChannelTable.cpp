// SPDX-License-Identifier: Apache-2.0
#include "plugins/f3dbridge/F3dChannelTable.h"

#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace {

void addLayerChannels(std::vector<F3dChannel>& channels, const std::string& baseName,
                      size_t layerIndex, const F3dLayerInfo& layer) {
    const bool importable = layer.unreadable.empty();
    if (layer.components != 3) {
        channels.push_back({baseName, layerIndex, -1, !importable});
        return;
    }
    static const char* const suffixes[3] = {"(x)", "(y)", "(z)"};
    // Field3D caches store velocity as the vector layer "velocity", and the default mapping
    // of Field3D files knows its components as "velocity(x)", "velocity(Y)" and
    // "velocity(Z)": offered under those names, all three reach the velocity slots.
    static const char* const velocitySuffixes[3] = {"(x)", "(Y)", "(Z)"};
    const bool velocity = layer.name == "velocity";
    for (int component = 0; component < 3; ++component) {
        const char* const suffix = (velocity ? velocitySuffixes : suffixes)[component];
        channels.push_back({baseName + suffix, layerIndex, component, true});
    }
}

} // namespace

std::vector<F3dChannel> listF3dChannels(const std::vector<F3dLayerInfo>& layers) {
    std::map<std::string, int> groupsOfName;
    std::map<std::pair<std::string, std::string>, int> groupsOfPartitionName;
    for (const F3dLayerInfo& layer : layers) {
        ++groupsOfName[layer.name];
        ++groupsOfPartitionName[{layer.partition, layer.name}];
    }
    std::set<std::string> namesSeen;
    std::vector<F3dChannel> channels;
    for (size_t index = 0; index < layers.size(); ++index) {
        const F3dLayerInfo& layer = layers[index];
        if (namesSeen.insert(layer.name).second) {
            addLayerChannels(channels, layer.name, index, layer);
        }
        if (groupsOfName[layer.name] > 1) {
            const bool partitionIsUnique =
                groupsOfPartitionName[{layer.partition, layer.name}] == 1;
            addLayerChannels(channels,
                             (partitionIsUnique ? layer.partition : layer.group) + "/" + layer.name,
                             index, layer);
        }
    }
    return channels;
}

const F3dChannel* findF3dChannel(const std::vector<F3dChannel>& channels, const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (const F3dChannel& channel : channels) {
        if (channel.name == name) {
            return &channel;
        }
    }
    const size_t length = std::strlen(name);
    if (length < 3 || name[length - 3] != '(' || name[length - 1] != ')' ||
        std::strchr("xyzXYZ", name[length - 2]) == nullptr) {
        return nullptr;
    }
    const auto lower = [](char letter) { return letter < 'a' ? char(letter - 'A' + 'a') : letter; };
    for (const F3dChannel& channel : channels) {
        if (channel.component >= 0 && channel.name.size() == length &&
            channel.name.compare(0, length - 2, name, length - 2) == 0 &&
            lower(channel.name[length - 2]) == lower(name[length - 2]) &&
            channel.name[length - 1] == ')') {
            return &channel;
        }
    }
    return nullptr;
}
