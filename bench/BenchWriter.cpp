// SPDX-License-Identifier: Apache-2.0
// The public frame writer saving a 256^3 smoke grid at 16 bits: encode and write, with the
// library's pool at 1 and 2 threads (the slabs of one channel are encoded in parallel).
#include "BenchGrids.h"
#include "korloader/IKor.h"
#include "korloader/IKorWriter.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int GridSide = 256;

void BM_WriterSaveSmoke(benchmark::State& state) {
    const std::vector<float> smoke = korbench::smokeGrid(GridSide);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("korloader-bench-writer-" + std::to_string(getpid()) + ".kor"))
                                 .string();
    korSetThreadCount(int(state.range(0)));
    IKorWriter* writer = newIKorWriter();
    writer->setGridSize(GridSide, GridSide, GridSide);
    writer->setChannel(FluxaEnum::Smoke, smoke.data(), 16, 0.0f, 1);
    for (auto _ : state) {
        if (!writer->save(path.c_str())) {
            state.SkipWithError(writer->getLastError());
            break;
        }
    }
    state.counters["fileMiB"] = double(std::filesystem::file_size(path)) / 1048576.0;
    state.SetItemsProcessed(state.iterations() * int64_t(smoke.size()));
    state.SetBytesProcessed(state.iterations() * int64_t(smoke.size() * sizeof(float)));
    deleteIKorWriter(writer);
    korSetThreadCount(0);
    std::remove(path.c_str());
}
BENCHMARK(BM_WriterSaveSmoke)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
