// SPDX-License-Identifier: Apache-2.0
#include "BenchSixChannels.h"

#include "BenchGrids.h"
#include "korloader/IKor.h"
#include "korloader/IKorWriter.h"

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

bool readKorChannels(const std::string& path, const std::vector<int>& slots) {
    IKor* frame = newIKor(path.c_str());
    if (frame == nullptr) {
        return false;
    }
    bool decoded = true;
    for (const int slot : slots) {
        decoded = decoded && frame->getChannel(slot) != nullptr;
    }
    deleteIKor(frame);
    return decoded;
}

} // namespace

void readFreshFrames(benchmark::State& state, const std::vector<int>& slots) {
    const std::string& path = sixChannelKorFile();
    korSetThreadCount(int(state.range(0)));
    for (auto _ : state) {
        if (!readKorChannels(path, slots)) {
            state.SkipWithError("a channel did not decode");
            break;
        }
    }
    korSetThreadCount(0);
    const int64_t side = SixChannelSide;
    state.SetItemsProcessed(state.iterations() * int64_t(slots.size()) * side * side * side);
}

} // namespace korbench
