// SPDX-License-Identifier: Apache-2.0
// The fixture of the channel discovery tests: cache files for the stand-in plug-ins and
// what the public discovery functions say about them.
#pragma once

#include "korloader/KorMappings.h"
#include "tests/foreign/FakePlugins.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kortest {

class ChannelDiscovery : public PluginTest {
public:
    using Names = std::vector<std::string>;

protected:
    // A cache file offering the given "channel" lines.
    std::string cache(const std::string& name, const std::string& description) {
        return directory.Write(name, description);
    }

    std::string defaultMapping(const std::string& path) {
        char buffer[512];
        EXPECT_EQ(korGenerateDefaultChannelMappings(buffer, sizeof buffer, path.c_str()), 1);
        return buffer;
    }

    // "name" or "name*" (flagged) for every channel the path offers, by index.
    std::vector<std::string> offered(const std::string& path) {
        std::vector<std::string> channels;
        char name[256];
        int flag = -1;
        for (int index = 0;
             korGet3rdPartyChannelName(name, sizeof name, &flag, path.c_str(), index) != -1;
             ++index) {
            channels.push_back(std::string(name) + (flag == 1 ? "*" : ""));
        }
        return channels;
    }
};

} // namespace kortest
