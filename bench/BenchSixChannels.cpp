// SPDX-License-Identifier: Apache-2.0
#include "BenchSixChannels.h"

#include "BenchGrids.h"
#include "korloader/IKor.h"
#include "korloader/IKorWriter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace korbench {
namespace {

// Removes the frame file when the benchmark ends.
struct TemporaryFile {
    std::string path;
    ~TemporaryFile() { std::remove(path.c_str()); }
};

} // namespace

const std::vector<SixChannel>& sixChannels() {
    static const std::vector<SixChannel> channels = {
        {FluxaEnum::Smoke, "density", smokeGrid, 16, 1},
        {FluxaEnum::Temperature, "temperature", smokeGrid, 12, 1},
        {FluxaEnum::Fuel, "fuel", smokeGrid, 8, 1},
        {FluxaEnum::VelocityX, "vel.x", velocityGrid, 12, 2},
        {FluxaEnum::VelocityY, "vel.y", velocityGrid, 12, 2},
        {FluxaEnum::VelocityZ, "vel.z", velocityGrid, 12, 2},
    };
    return channels;
}

const std::string& sixChannelKorFile() {
    static const TemporaryFile written{[] {
        const int threads = korSetThreadCount(-1);
        korSetThreadCount(0);
        IKorWriter* writer = newIKorWriter();
        writer->setGridSize(SixChannelSide, SixChannelSide, SixChannelSide);
        for (const SixChannel& spec : sixChannels()) {
            const std::vector<float> data = spec.grid(SixChannelSide);
            writer->setChannel(spec.channel, data.data(), spec.bits, 0.0f, spec.passes);
        }
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("korloader-six-" + std::to_string(getpid()) + ".kor"))
                                     .string();
        writer->save(file.c_str());
        deleteIKorWriter(writer);
        korSetThreadCount(threads);
        return file;
    }()};
    return written.path;
}

namespace {

// Opens the frame, decodes the slots in turn and deletes the frame; returns the seconds spent
// in what `timing` names, or a negative value when the frame or a channel failed.
double readKorChannels(const std::string& path, const std::vector<int>& slots, FrameTiming timing) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point opening = Clock::now();
    IKor* frame = newIKor(path.c_str());
    if (frame == nullptr) {
        return -1.0;
    }
    const Clock::time_point decoding = Clock::now();
    bool decoded = true;
    for (const int slot : slots) {
        decoded = decoded && frame->getChannel(slot) != nullptr;
    }
    const Clock::time_point decoded_at = Clock::now();
    deleteIKor(frame);
    const Clock::time_point deleted = Clock::now();
    if (!decoded) {
        return -1.0;
    }
    const std::chrono::duration<double> spent =
        timing == FrameTiming::DecodeOnly ? decoded_at - decoding : deleted - opening;
    return spent.count();
}

} // namespace

void readFreshFrames(benchmark::State& state, const std::vector<int>& slots, FrameTiming timing) {
    const std::string& path = sixChannelKorFile();
    korSetThreadCount(int(state.range(0)));
    for (auto _ : state) {
        const double seconds = readKorChannels(path, slots, timing);
        if (seconds < 0.0) {
            state.SkipWithError("a channel did not decode");
            break;
        }
        state.SetIterationTime(seconds);
    }
    korSetThreadCount(0);
    const int64_t side = SixChannelSide;
    state.SetItemsProcessed(state.iterations() * int64_t(slots.size()) * side * side * side);
}

} // namespace korbench
