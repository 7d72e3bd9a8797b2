// SPDX-License-Identifier: Apache-2.0
#include "plugins/f3dbridge/F3dChannelTable.h"

#include <cstring>
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
    for (int component = 0; component < 3; ++component) {
        channels.push_back({baseName + suffixes[component], layerIndex, component, true});
    }
}

} // namespace

std::vector<F3dChannel> listF3dChannels(const std::vector<F3dLayerInfo>& layers) {
    std::set<std::pair<std::string, std::string>> partitionsOfName;
    for (const F3dLayerInfo& layer : layers) {
        partitionsOfName.insert({layer.name, layer.partition});
    }
    std::set<std::string> namesSeen;
    std::set<std::pair<std::string, std::string>> qualifiedSeen;
    std::vector<F3dChannel> channels;
    for (size_t index = 0; index < layers.size(); ++index) {
        const F3dLayerInfo& layer = layers[index];
        if (namesSeen.insert(layer.name).second) {
            addLayerChannels(channels, layer.name, index, layer);
        }
        const auto firstPartition = partitionsOfName.lower_bound({layer.name, std::string()});
        const bool shared = std::next(firstPartition) != partitionsOfName.end() &&
                            std::next(firstPartition)->first == layer.name;
        if (shared && qualifiedSeen.insert({layer.partition, layer.name}).second) {
            addLayerChannels(channels, layer.partition + "/" + layer.name, index, layer);
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
        std::strchr("XYZ", name[length - 2]) == nullptr) {
        return nullptr;
    }
    std::string lowered(name, length);
    lowered[length - 2] = static_cast<char>(lowered[length - 2] - 'A' + 'a');
    for (const F3dChannel& channel : channels) {
        if (channel.component >= 0 && channel.name == lowered) {
            return &channel;
        }
    }
    return nullptr;
}
