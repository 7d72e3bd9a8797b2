// SPDX-License-Identifier: Apache-2.0
// The frame users compare formats on: six 256^3 channels (smoke, temperature, fuel and the
// three velocity components), as the simulator stores them.
#pragma once

#include <string>
#include <vector>

namespace korbench {

struct SixChannel {
    int channel;
    const char* vdbName;
    std::vector<float> (*grid)(int);
    int bits;
    int passes;
};

constexpr int SixChannelSide = 256;

const std::vector<SixChannel>& sixChannels();

// The "kor" file of the frame, written once per process through the public frame writer
// (on the calling thread, so that it holds the same zones whatever the pool size).
const std::string& sixChannelKorFile();

// Fresh frames as a host opens them: newIKor, getChannel of each slot, deleteIKor.
// Returns false when the frame did not open or a channel did not decode.
bool readKorChannels(const std::string& path, const std::vector<int>& slots);

} // namespace korbench
