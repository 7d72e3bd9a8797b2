// SPDX-License-Identifier: Apache-2.0
// The name tables are the grid names the common simulators write; their order is the
// lookup order and several names may feed one slot.
#include "foreign/ChannelMappings.h"

#include "foreign/Find3rdPartyCacheChannelsEnum.h"
#include "korloader/IKor.h"
#include "support/Paths.h"

#include <climits>
#include <cstdint>
#include <cstdio>

namespace {

struct KnownGrid {
    const char* name;
    int32_t channel;
};

constexpr KnownGrid VdbGrids[] = {
    {"Temperature_flx", 1},
    {"Smoke_flx", 2},
    {"VelocityX_flx", 4},
    {"VelocityY_flx", 5},
    {"VelocityZ_flx", 6},
    {"ColorR_flx", 7},
    {"ColorG_flx", 8},
    {"ColorB_flx", 9},
    {"Fuel_flx", 10},
    {"density", 2},
    {"temperature", 1},
    {"fluid_density", 1},
    {"surface", 1},
    {"vel.x", 4},
    {"vel.y", 5},
    {"vel.z", 6},
    {"vel(x)", 4},
    {"vel(y)", 5},
    {"vel(z)", 6},
    {"V(x)", 4},
    {"V(y)", 5},
    {"V(z)", 6},
    {"color(x)", 7},
    {"color(y)", 8},
    {"color(z)", 9},
    {"Smoke", 2},
    {"FireFuel", 10},
    {"Temperature", 1},
    {"VelocitiesX", 4},
    {"VelocitiesY", 5},
    {"VelocitiesZ", 6},
    {"ColorR", 7},
    {"ColorG", 8},
    {"ColorB", 9},
    {"fuel", 10},
    {"velocity_x", 4},
    {"velocity_y", 5},
    {"velocity_z", 6},
    {"particle_count_per_cell", 1},
    {"rest.x", 7},
    {"rest.y", 8},
    {"rest.z", 9},
};
static_assert(sizeof VdbGrids / sizeof VdbGrids[0] == 42, "42 OpenVDB names");

// "velocity(Y)", "velocity(Z)" and the reversed VelocitiesX/VelocitiesZ are what the
// Field3D writers produce; keep them as they are.
constexpr KnownGrid F3dGrids[] = {
    {"density", 2},
    {"fuel", 10},
    {"temperature", 1},
    {"v_mac(x)", 4},
    {"velocity(x)", 4},
    {"v_mac(y)", 5},
    {"velocity(Y)", 5},
    {"v_mac(z)", 6},
    {"velocity(Z)", 6},
    {"Smoke", 2},
    {"FireFuel", 10},
    {"Temperature", 1},
    {"VelocitiesX", 6},
    {"VelocitiesY", 5},
    {"VelocitiesZ", 4},
    {"ColorR", 7},
    {"ColorG", 8},
    {"ColorB", 9},
    {"particle_count_per_cell", 1},
    {"fluid_velocity(x)", 4},
    {"fluid_velocity(y)", 5},
    {"fluid_velocity(z)", 6},
    {"Velocity(x)", 4},
    {"Velocity(y)", 5},
    {"Velocity(z)", 6},
    {"Density", 2},
    {"TextureCoord(x)", 7},
    {"TextureCoord(y)", 8},
    {"TextureCoord(z)", 9},
};
static_assert(sizeof F3dGrids / sizeof F3dGrids[0] == 29, "29 Field3D names");

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// atoi over [text, end); out-of-range values saturate instead of wrapping.
int32_t channelFromText(const char* text, const char* end) {
    while (text != end && isAsciiSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (text != end && (*text == '+' || *text == '-')) {
        negative = *text == '-';
        ++text;
    }
    int64_t magnitude = 0;
    const int64_t limit = negative ? -int64_t(INT_MIN) : INT_MAX;
    for (; text != end && *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit) {
            magnitude = limit;
        }
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

const char* findCharacter(const char* text, char wanted) {
    while (*text != '\0' && *text != wanted) {
        ++text;
    }
    return text;
}

// An unknown grid is most likely the density, unless its plug-in flagged it or a known
// grid already feeds smoke.
void addSmokeFallback(CacheIO::GridMappingList& mappings,
                      const iArray<const CacheIO::AvailableChannels*>& unmatched) {
    for (int32_t i = 0; i < mappings.Count(); ++i) {
        if (mappings[i].channel == FluxaEnum::Smoke) {
            return;
        }
    }
    for (int32_t i = 0; i < unmatched.Count(); ++i) {
        if (!unmatched[i]->flag) {
            mappings.Append(CacheIO::GridMapping(unmatched[i]->name.Chars(), FluxaEnum::Smoke));
            return;
        }
    }
}

template <size_t TableSize>
CharString mapWithTable(const CacheIO::AvailableChannelList& channels,
                        const KnownGrid (&table)[TableSize]) {
    CacheIO::GridMappingList mappings;
    iArray<const CacheIO::AvailableChannels*> unmatched;
    for (int32_t i = 0; i < channels.Count(); ++i) {
        const KnownGrid* known = nullptr;
        for (const KnownGrid& grid : table) {
            if (channels[i].name.Equals(grid.name)) {
                known = &grid;
                break;
            }
        }
        if (known != nullptr) {
            mappings.Append(CacheIO::GridMapping(channels[i].name.Chars(), known->channel));
        } else {
            unmatched.Append(&channels[i]);
        }
    }
    addSmokeFallback(mappings, unmatched);
    CharString mapping;
    composeChannelMappings(mappings, mapping);
    return mapping;
}

} // namespace

bool parseChannelMappings(const char* mapping, CacheIO::GridMappingList& mappings) {
    if (mapping == nullptr) {
        return true;
    }
    const char* next = mapping;
    while (*next != '\0') {
        const char* const comma = findCharacter(next, ',');
        if (*comma == '\0') {
            break;
        }
        const char* const nameStart = comma + 1;
        const char* const semicolon = findCharacter(nameStart, ';');
        CacheIO::GridMapping entry(nullptr, channelFromText(next, comma));
        for (const char* c = nameStart; c != semicolon; ++c) {
            entry.name += *c;
        }
        if (!mappings.Append(entry)) {
            break;
        }
        next = *semicolon != '\0' ? semicolon + 1 : semicolon;
    }
    return true;
}

void composeChannelMappings(const CacheIO::GridMappingList& mappings, CharString& out) {
    out.Clear();
    for (int32_t i = 0; i < mappings.Count(); ++i) {
        char channel[16];
        std::snprintf(channel, sizeof channel, "%d,", mappings[i].channel);
        out += channel;
        out += mappings[i].name;
        out += ';';
    }
}

CharString mapVdbChannels(const CacheIO::AvailableChannelList& channels) {
    return mapWithTable(channels, VdbGrids);
}

CharString mapF3dChannels(const CacheIO::AvailableChannelList& channels) {
    return mapWithTable(channels, F3dGrids);
}

CharString generateDefaultMappings(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return CharString();
    }
    CacheIO::AvailableChannelList channels;
    collectAvailableChannels(path, channels);
    if (channels.Count() == 0) {
        return CharString();
    }
    const CharString extension = getExtension(path);
    if (extension.Equals("vdb")) {
        return mapVdbChannels(channels);
    }
    if (extension.Equals("f3d")) {
        return mapF3dChannels(channels);
    }
    return CharString();
}
