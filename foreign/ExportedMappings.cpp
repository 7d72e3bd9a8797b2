// SPDX-License-Identifier: Apache-2.0
// The exported mapping functions. Every call works on fresh lists: nothing is cached, so
// a cache that changes on disk is seen at once.
#include "foreign/ChannelMappings.h"
#include "foreign/Find3rdPartyCacheChannelsEnum.h"
#include "korloader/KorMappings.h"
#include "support/Paths.h"

namespace {

// 1 when all of text fitted into the buffer, else 0.
int copyResult(char* buffer, int size, const CharString& text) {
    copyBounded(buffer, text.Chars(), size);
    return buffer != nullptr && text.Length() < size ? 1 : 0;
}

} // namespace

int korGet3rdPartyChannelName(char* name, int size, int* flag, const char* path, int index) {
    CacheIO::AvailableChannelList channels;
    collectAvailableChannels(path, channels);
    if (index < 0 || index >= channels.Count()) {
        return -1;
    }
    if (flag != nullptr) {
        *flag = channels[index].flag ? 1 : 0;
    }
    return copyResult(name, size, channels[index].name);
}

int korComposeChannelMappingsString(char* buffer, int size, int* channels, const char* const* names,
                                    int count) {
    CacheIO::GridMappingList mappings;
    if (channels != nullptr && names != nullptr) {
        for (int i = 0; i < count; ++i) {
            if (!mappings.Append(CacheIO::GridMapping(names[i], channels[i]))) {
                break;
            }
        }
    }
    CharString mapping;
    composeChannelMappings(mappings, mapping);
    return copyResult(buffer, size, mapping);
}

int korDecomposeChannelMappingsString(int* channel, char* name, int size, const char* mapping,
                                      int index) {
    CacheIO::GridMappingList mappings;
    parseChannelMappings(mapping, mappings);
    if (index < 0 || index >= mappings.Count()) {
        return -1;
    }
    if (channel != nullptr) {
        *channel = mappings[index].channel;
    }
    return copyResult(name, size, mappings[index].name);
}

int korGenerateDefaultChannelMappings(char* buffer, int size, const char* path) {
    return copyResult(buffer, size, generateDefaultMappings(path));
}
