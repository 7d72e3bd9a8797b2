// SPDX-License-Identifier: Apache-2.0
// Discovers the channels a foreign cache offers by asking the plug-in of each file that a
// path (or frame pattern) names.
#pragma once

#include "korloader/CacheIO.h"
#include "support/EnumFiles.h"

namespace FluxaEnum {

// Merges the channels of every visited "vdb" or "f3d" file into `channels` (not owned):
// the union in order of first appearance, where the first appearance's flag stands.
class Find3rdPartyCacheChannelsEnum : public EnumFiles {
public:
    explicit Find3rdPartyCacheChannelsEnum(CacheIO::AvailableChannelList* target)
        : channels(target) {}

    void VisitFile(const char* path) override;

    CacheIO::AvailableChannelList* channels;
};

} // namespace FluxaEnum

// Appends to channels what the cache at path offers; nothing when the path names no
// file, the extension is neither "vdb" nor "f3d", or that plug-in is not ready.
void collectAvailableChannels(const char* path, CacheIO::AvailableChannelList& channels);
