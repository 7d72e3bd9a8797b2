// SPDX-License-Identifier: Apache-2.0
// The plug-in fills a list of our type in place. Its count and storage are checked before
// the list is read or destroyed: a list it left inconsistent is abandoned, not freed.
#include "foreign/Find3rdPartyCacheChannelsEnum.h"

#include "foreign/PluginModules.h"
#include "platform/Platform.h"
#include "support/FramePattern.h"
#include "support/Messages.h"
#include "support/Paths.h"

#include <new>

namespace {

bool isConsistent(const CacheIO::AvailableChannelList& list) {
    if (list.Count() < 0 || list.Count() > list.Capacity() ||
        (list.Capacity() > 0 && list.Data() == nullptr)) {
        return false;
    }
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (list[i].name.Chars() == nullptr) {
            return false;
        }
    }
    return true;
}

bool isListed(const CacheIO::AvailableChannelList& list, const CharString& name) {
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (list[i].name.Equals(name)) {
            return true;
        }
    }
    return false;
}

GetAvailableChannelsFunction* channelSource(const char* path) {
    const CharString extension = getExtension(path);
    if (extension.Equals("f3d")) {
        return f3dPluginReady() ? f3dPlugin().getAvailableChannels : nullptr;
    }
    if (extension.Equals("vdb")) {
        return vdbPluginReady() ? vdbPlugin().getAvailableChannels : nullptr;
    }
    return nullptr;
}

} // namespace

namespace FluxaEnum {

void Find3rdPartyCacheChannelsEnum::VisitFile(const char* path) {
    GetAvailableChannelsFunction* const getAvailableChannels = channelSource(path);
    if (getAvailableChannels == nullptr) {
        return;
    }
    // Raw storage, so that a list the plug-in broke is never destroyed.
    alignas(
        CacheIO::AvailableChannelList) unsigned char storage[sizeof(CacheIO::AvailableChannelList)];
    auto* const fresh = new (storage) CacheIO::AvailableChannelList(0, 4);
    getAvailableChannels(path, fresh);
    if (!isConsistent(*fresh)) {
        logMessage("Plug-in returned a broken channel list for %s\n", path);
        return;
    }
    for (int32_t i = 0; i < fresh->Count(); ++i) {
        if (!isListed(*channels, (*fresh)[i].name)) {
            channels->Append((*fresh)[i]);
        }
    }
    fresh->~iArray();
}

} // namespace FluxaEnum

void collectAvailableChannels(const char* path, CacheIO::AvailableChannelList& channels) {
    FluxaEnum::Find3rdPartyCacheChannelsEnum walker(&channels);
    if (walker.walk(path, FluxaEnum::EnumFiles::ExactFrameMatch) || path == nullptr ||
        hasFramePattern(path)) {
        return;
    }
    // The walk finds a single file by listing its directory, which misses files that open
    // fine: in a directory the process may not list, or on a case-insensitive file system
    // reached with other letter case. The plug-in is then asked about the path as given.
    if (Platform::fileExists(path)) {
        walker.VisitFile(path);
    }
}
