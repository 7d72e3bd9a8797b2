// SPDX-License-Identifier: Apache-2.0
// What a host waits for on fresh frames of the six-channel 256^3 frame, each figure beside
// its yardstick in the same run: opening against reading the same file into memory
// advised for huge pages; the getChannel calls of a zone container, Speed against its three
// components and a whole frame at 1 and 2 pool threads; encoding a smoke grid at 1 and 2 pool
// threads. The file stays in the page cache, as a host's next frame usually is.
#include "BenchGrids.h"
#include "BenchSixChannels.h"
#include "korloader/IKor.h"
#include "korloader/IKorWriter.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using korbench::sixChannelKorFile;

constexpr size_t HugePage = size_t(2) << 20;

// Reads the whole file into fresh memory; huge asks for 2 MiB pages before the first touch.
void readFileFresh(benchmark::State& state, bool huge) {
    const std::string& path = sixChannelKorFile();
    const size_t bytes = std::filesystem::file_size(path);
    const size_t mapped = (bytes + HugePage - 1) / HugePage * HugePage + HugePage;
    for (auto _ : state) {
        void* const memory =
            mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        char* const aligned = reinterpret_cast<char*>(
            (reinterpret_cast<uintptr_t>(memory) + HugePage - 1) / HugePage * HugePage);
        if (huge) {
            madvise(aligned, mapped - HugePage, MADV_HUGEPAGE);
        }
        FILE* const file = std::fopen(path.c_str(), "rb");
        const size_t read = std::fread(aligned, 1, bytes, file);
        std::fclose(file);
        benchmark::DoNotOptimize(aligned[read - 1]);
        munmap(memory, mapped);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}

void BM_ReadFileHugePages(benchmark::State& state) {
    readFileFresh(state, true);
}
void BM_ReadFilePlainPages(benchmark::State& state) {
    readFileFresh(state, false);
}

void BM_OpenFrame(benchmark::State& state) {
    const std::string& path = sixChannelKorFile();
    for (auto _ : state) {
        IKor* const frame = newIKor(path.c_str());
        if (frame == nullptr) {
            state.SkipWithError("the frame did not open");
            return;
        }
        deleteIKor(frame);
    }
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(path)));
}

// The getChannel calls alone on fresh frames: opening is BM_OpenFrame's figure.
void readFreshFrames(benchmark::State& state, const std::vector<int>& slots) {
    korbench::readFreshFrames(state, slots, korbench::FrameTiming::DecodeOnly);
}

void BM_FreshSmoke(benchmark::State& state) {
    readFreshFrames(state, {FluxaEnum::Smoke});
}
void BM_FreshVelocityXYZ(benchmark::State& state) {
    readFreshFrames(state, {FluxaEnum::VelocityX, FluxaEnum::VelocityY, FluxaEnum::VelocityZ});
}
void BM_FreshSpeed(benchmark::State& state) {
    readFreshFrames(state, {FluxaEnum::Speed});
}
void BM_FreshWholeFrame(benchmark::State& state) {
    readFreshFrames(state,
                    {FluxaEnum::Temperature, FluxaEnum::Smoke, FluxaEnum::Speed, FluxaEnum::Fuel});
}

// The writer's save of one smoke channel: the zone encoder, then the file write.
void BM_EncodeSmoke(benchmark::State& state) {
    const int side = korbench::SixChannelSide;
    const std::vector<float> smoke = korbench::smokeGrid(side);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("korloader-encode-" + std::to_string(getpid()) + ".kor"))
                                 .string();
    korSetThreadCount(int(state.range(0)));
    IKorWriter* writer = newIKorWriter();
    writer->setGridSize(side, side, side);
    writer->setChannel(FluxaEnum::Smoke, smoke.data(), 16, 0.0f, 1);
    for (auto _ : state) {
        if (!writer->save(path.c_str())) {
            state.SkipWithError(writer->getLastError());
            break;
        }
    }
    state.counters["fileMiB"] = double(std::filesystem::file_size(path)) / 1048576.0;
    deleteIKorWriter(writer);
    korSetThreadCount(0);
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * int64_t(smoke.size()));
}

BENCHMARK(BM_ReadFileHugePages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFilePlainPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreshSmoke)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FreshVelocityXYZ)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FreshSpeed)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FreshWholeFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_EncodeSmoke)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
