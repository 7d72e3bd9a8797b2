// SPDX-License-Identifier: Apache-2.0
// A reader of whole "kor" files for the tests, written from the format's description and
// sharing no code with the library: the container is walked here, codec streams go
// through the literal reference decoder. What the library writes must read back through
// it, so the writer cannot hide a misreading that the library's reader shares.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kortest {

struct IndependentGroup {
    std::string name;
    int32_t count = 0;
    uint32_t summaryMask = 0;
    // Decoded bytes per particle channel, as getValue lays them out.
    std::map<int, std::string> channels;
};

struct IndependentFrame {
    int32_t gridSize[3] = {};
    float transform[12] = {};
    uint32_t channelMask = 0;
    int32_t frameNumber = 0;
    std::string note;
    std::map<int, std::vector<float>> channels;
    std::map<int, std::pair<float, float>> ranges;
    std::vector<IndependentGroup> groups;
};

// Reads a version 4 file the way the format describes it; throws std::runtime_error on
// anything it cannot follow.
IndependentFrame readIndependently(const std::string& path);

} // namespace kortest
