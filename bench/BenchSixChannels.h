// SPDX-License-Identifier: Apache-2.0
// The frame users compare formats on: six 256^3 channels (smoke, temperature, fuel and the
// three velocity components), as the simulator stores them.
#pragma once

#include <benchmark/benchmark.h>
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

// What an iteration of readFreshFrames times: the getChannel calls alone, or the whole frame
// from newIKor to deleteIKor.
enum class FrameTiming { DecodeOnly, WholeFrame };

// Fresh frames of the "kor" file as a host reads them, frame after frame: newIKor, the
// slots in turn, deleteIKor, on a pool of state.range(0) threads. The benchmark must use
// manual time.
void readFreshFrames(benchmark::State& state, const std::vector<int>& slots, FrameTiming timing);

} // namespace korbench
