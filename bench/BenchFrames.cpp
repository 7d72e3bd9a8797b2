// SPDX-License-Identifier: Apache-2.0
// What a host waits for: opening a 256^3 frame of 8 channels, and the first request of a
// channel, which decodes it. The frame is written once with the public frame writer and
// read back through the public entry points.
#include "BenchGrids.h"
#include "korloader/IKor.h"
#include "korloader/IKorWriter.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int GridSize = 256;
constexpr int MaxHostThreads = 2;

struct ChannelSpec {
    int channel;
    std::vector<float> (*grid)(int);
    int bits;
    int passes;
};

std::vector<float> constantGrid(int n) {
    return std::vector<float>(size_t(n) * n * n, 0.5f);
}

const ChannelSpec channelSpecs[] = {
    {FluxaEnum::Smoke, korbench::smokeGrid, 16, 1},
    {FluxaEnum::Temperature, korbench::smokeGrid, 12, 1},
    {FluxaEnum::Fuel, korbench::smokeGrid, 8, 1},
    {FluxaEnum::VelocityX, korbench::velocityGrid, 12, 2},
    {FluxaEnum::VelocityY, korbench::velocityGrid, 12, 2},
    {FluxaEnum::VelocityZ, korbench::velocityGrid, 12, 2},
    {FluxaEnum::Wavelet, korbench::noiseGrid, 16, 1},
    {FluxaEnum::TextureU, constantGrid, 16, 1},
};

// The frame file, written on first use.
const std::string& framePath() {
    static const std::string path = [] {
        IKorWriter* writer = newIKorWriter();
        writer->setGridSize(GridSize, GridSize, GridSize);
        for (const ChannelSpec& spec : channelSpecs) {
            const std::vector<float> data = spec.grid(GridSize);
            writer->setChannel(spec.channel, data.data(), spec.bits, 0.0f, spec.passes);
        }
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("korloader-bench-" + std::to_string(getpid()) + ".kor"))
                                     .string();
        writer->save(file.c_str());
        deleteIKorWriter(writer);
        return file;
    }();
    return path;
}

// Peak resident bytes since the last reset (Linux: clear_refs 5 resets VmHWM).
void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stod(line.substr(std::strlen(field)));
        }
    }
    return 0;
}

void BM_OpenFrame(benchmark::State& state) {
    const std::string& path = framePath();
    for (auto _ : state) {
        IKor* frame = newIKor(path.c_str());
        benchmark::DoNotOptimize(frame);
        deleteIKor(frame);
    }
    state.counters["fileMiB"] = double(std::filesystem::file_size(path)) / 1048576.0;
}

// The frame under one path per benchmark thread, so that every thread opens a frame of its
// own rather than sharing one through the registry. Hard links: the bytes are the same.
const std::vector<std::string>& framePathPerThread() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> links;
        for (int thread = 0; thread < MaxHostThreads; ++thread) {
            links.push_back(framePath() + "." + std::to_string(thread) + ".kor");
            std::filesystem::remove(links.back());
            std::filesystem::create_hard_link(framePath(), links.back());
        }
        return links;
    }();
    return paths;
}

// Opening different files from several host threads: the registry is locked only around
// its lookups, so the file reads overlap.
void BM_OpenFramePerThread(benchmark::State& state) {
    const std::string& path = framePathPerThread()[size_t(state.thread_index())];
    for (auto _ : state) {
        IKor* frame = newIKor(path.c_str());
        benchmark::DoNotOptimize(frame);
        deleteIKor(frame);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FirstGetChannel(benchmark::State& state) {
    const int channel = int(state.range(0));
    const std::string& path = framePath();
    double peakOverOutput = 0;
    for (auto _ : state) {
        state.PauseTiming();
        IKor* frame = newIKor(path.c_str());
        resetPeakResident();
        const double before = statusKiB("VmRSS:");
        state.ResumeTiming();
        benchmark::DoNotOptimize(frame->getChannel(channel));
        state.PauseTiming();
        const double output = double(GridSize) * GridSize * GridSize * 4 / 1024;
        peakOverOutput = (statusKiB("VmHWM:") - before) / output;
        deleteIKor(frame);
        state.ResumeTiming();
    }
    // Memory the decode needed beyond what was resident, relative to the channel's array.
    state.counters["peak/output"] = peakOverOutput;
}

// Smoke is a zone container; the rest are single blocks.
BENCHMARK(BM_OpenFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFramePerThread)
    ->Threads(1)
    ->Threads(MaxHostThreads)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstGetChannel)
    ->Arg(FluxaEnum::Smoke)
    ->Arg(FluxaEnum::VelocityX)
    ->Arg(FluxaEnum::Wavelet)
    ->Arg(FluxaEnum::TextureU)
    ->Arg(FluxaEnum::Speed)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
