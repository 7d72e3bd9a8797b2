// SPDX-License-Identifier: Apache-2.0
// What the exported mapping functions say about a foreign cache, in test-friendly form.
#pragma once

#include "korloader/KorMappings.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace kortest {

// The channels a cache offers, with their flags, in the order the plug-in reports them.
inline std::vector<std::pair<std::string, int>> offeredChannels(const std::string& path) {
    std::vector<std::pair<std::string, int>> list;
    char name[256];
    int flag = -1;
    for (int index = 0;
         korGet3rdPartyChannelName(name, sizeof name, &flag, path.c_str(), index) == 1; ++index) {
        list.emplace_back(name, flag);
    }
    return list;
}

// The default mapping string of a cache.
inline std::string defaultMappingOf(const std::string& path) {
    char buffer[1024];
    EXPECT_EQ(korGenerateDefaultChannelMappings(buffer, sizeof buffer, path.c_str()), 1);
    return buffer;
}

} // namespace kortest
