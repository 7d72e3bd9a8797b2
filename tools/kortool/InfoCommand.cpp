// SPDX-License-Identifier: Apache-2.0
// kortool info: what a host sees in each frame, as text or as JSON objects whose keys are
// a fixed contract for scripts.
#include "Commands.h"
#include "FrameStats.h"
#include "tools/common/FrameNames.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

namespace kortool {

namespace {

using json = nlohmann::ordered_json;

// JSON has no NaN or infinity.
json number(double value) {
    return std::isfinite(value) ? json(value) : json(nullptr);
}

json describe(const std::string& path, IKor& frame) {
    int size[3];
    frame.getGridSize(size);
    float transform[12];
    frame.getTransform(transform);
    json out = {
        {"path", path}, {"format", frameFormat(path)}, {"grid", {size[0], size[1], size[2]}}};
    out["transform"] = json::array();
    for (const float value : transform) {
        out["transform"].push_back(number(value));
    }
    out["channels"] = json::array();
    for (const ChannelStats& channel : channelStats(frame)) {
        // A channel that cannot be decoded has no range.
        const double undecoded = channel.values == nullptr ? std::nan("") : 0.0;
        out["channels"].push_back({{"slot", channel.slot},
                                   {"name", channel.name},
                                   {"min", number(channel.min + undecoded)},
                                   {"max", number(channel.max + undecoded)},
                                   {"mean", number(channel.mean)}});
    }
    out["particleGroups"] = json::array();
    for (const GroupStats& group : groupStats(frame)) {
        json channels = json::array();
        for (const int channel : group.channels) {
            channels.push_back(particleChannelName(channel));
        }
        out["particleGroups"].push_back(
            {{"name", group.name}, {"count", group.count}, {"channels", channels}});
    }
    return out;
}

double valueOf(const json& value) {
    return value.is_null() ? std::nan("") : value.get<double>();
}

void printText(const json& frame) {
    std::printf("%s\n", frame["path"].get<std::string>().c_str());
    std::printf("  format     %s\n", frame["format"].get<std::string>().c_str());
    std::printf("  grid       %d x %d x %d\n", frame["grid"][0].get<int>(),
                frame["grid"][1].get<int>(), frame["grid"][2].get<int>());
    std::printf("  transform ");
    for (size_t i = 0; i < 12; ++i) {
        std::printf(i % 3 == 0 ? "  %g" : " %g", valueOf(frame["transform"][i]));
    }
    std::printf("\n");
    for (const json& channel : frame["channels"]) {
        std::printf("  %2d %-16s min %-11.6g max %-11.6g mean %.6g\n", channel["slot"].get<int>(),
                    channel["name"].get<std::string>().c_str(), valueOf(channel["min"]),
                    valueOf(channel["max"]), valueOf(channel["mean"]));
    }
    for (const json& group : frame["particleGroups"]) {
        std::string channels;
        for (const json& channel : group["channels"]) {
            channels += (channels.empty() ? "" : ", ") + channel.get<std::string>();
        }
        std::printf("  particles  \"%s\": %d (%s)\n", group["name"].get<std::string>().c_str(),
                    group["count"].get<int>(), channels.c_str());
    }
}

} // namespace

int runInfo(const std::vector<std::string>& files, bool asJson) {
    json all = json::array();
    int status = 0;
    for (const std::string& path : files) {
        const FrameHandle frame = openFrame(path);
        if (!frame) {
            std::fprintf(stderr,
                         "kortool info: %s cannot be opened (missing, unreadable, "
                         "broken, or no plug-in for it; --log tells more)\n",
                         path.c_str());
            status = 1;
            continue;
        }
        all.push_back(describe(path, *frame));
    }
    if (asJson) {
        std::cout << (files.size() == 1 && all.size() == 1 ? all[0] : all).dump(2) << "\n";
    } else {
        for (const json& frame : all) {
            printText(frame);
        }
    }
    return status;
}

} // namespace kortool
