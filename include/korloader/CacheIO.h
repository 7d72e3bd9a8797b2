// SPDX-License-Identifier: Apache-2.0
// The records that cross between the library and its plug-in modules. Both sides fill
// arrays of them in place, so sizes and offsets are fixed (64-bit pointers) and the
// strings inside live on the heap both sides share.
#pragma once

#include "support/CharString.h"
#include "support/iArray.h"

#include <cstddef>
#include <cstdint>

namespace CacheIO {

// One channel mapping: which grid of a foreign file feeds which frame channel slot.
//   name      grid name in the foreign file, compared exactly            offset 0
//   channel   frame channel slot the grid feeds (may lie outside 0..31)  offset 8
//   factor    passed to the plug-in unchanged; 1.0 in every record we build   offset 12
//   reserved  passed to the plug-in unchanged; 0 in every record we build     offset 16
//   4 bytes of padding                                                   offset 20
struct GridMapping {
    GridMapping() : channel(0), factor(1.0f), reserved(0) {}
    GridMapping(const char* gridName, int32_t channelSlot, float gridFactor = 1.0f,
                int32_t reservedValue = 0)
        : name(gridName), channel(channelSlot), factor(gridFactor), reserved(reservedValue) {}

    CharString name;
    int32_t channel;
    float factor;
    int32_t reserved;
};

// One channel a foreign cache offers.
//   name   grid name as the plug-in reports it   offset 0
//   flag   meaning chosen by the plug-in; a flagged channel never becomes the smoke
//          fallback of the default mapping     offset 8
//   7 bytes of padding
struct AvailableChannels {
    AvailableChannels() : flag(false) {}
    AvailableChannels(const char* channelName, bool channelFlag)
        : name(channelName), flag(channelFlag) {}

    CharString name;
    bool flag;
};

// The list a plug-in's GetAvailableChannels appends to; the library owns it.
using AvailableChannelList = iArray<AvailableChannels, int32_t>;
// The parsed form of a mapping string.
using GridMappingList = iArray<GridMapping, int32_t>;

static_assert(sizeof(GridMapping) == 24, "GridMapping is 24 bytes");
static_assert(offsetof(GridMapping, name) == 0, "GridMapping::name");
static_assert(offsetof(GridMapping, channel) == 8, "GridMapping::channel");
static_assert(offsetof(GridMapping, factor) == 12, "GridMapping::factor");
static_assert(offsetof(GridMapping, reserved) == 16, "GridMapping::reserved");
static_assert(sizeof(AvailableChannels) == 16, "AvailableChannels is 16 bytes");
static_assert(offsetof(AvailableChannels, name) == 0, "AvailableChannels::name");
static_assert(offsetof(AvailableChannels, flag) == 8, "AvailableChannels::flag");

} // namespace CacheIO
