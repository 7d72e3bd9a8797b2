// SPDX-License-Identifier: Apache-2.0
// The six-channel 256^3 frame as users choose between formats: the "kor" file opened and
// all six channels decoded on fresh frames (newIKor, getChannel, deleteIKor) against the
// same grids written by OpenVDB with Blosc and read back whole into a warm dense buffer,
// OpenVDB's best case, at 1 and 2 threads (a TBB arena of that size on its side, the
// library's pool on ours). The file sizes are reported beside the times.
#include "BenchSixChannels.h"
#include "korloader/IKor.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>
#include <openvdb/tools/Dense.h>
#include <string>
#include <tbb/task_arena.h>
#include <unistd.h>
#include <vector>

namespace {

using DenseGrid = openvdb::tools::Dense<float, openvdb::tools::LayoutXYZ>;

const openvdb::CoordBBox& frameBox() {
    static const openvdb::CoordBBox box(openvdb::Coord(0),
                                        openvdb::Coord(korbench::SixChannelSide - 1));
    return box;
}

// The VDB twin of the frame: the same six grids, zeros left inactive, Blosc-compressed.
struct VdbTwin {
    std::string path;
    VdbTwin() {
        openvdb::initialize();
        openvdb::GridPtrVec grids;
        for (const korbench::SixChannel& spec : korbench::sixChannels()) {
            std::vector<float> values = spec.grid(korbench::SixChannelSide);
            const DenseGrid dense(frameBox(), values.data());
            openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
            openvdb::tools::copyFromDense(dense, *grid, 0.0f);
            grid->setName(spec.vdbName);
            grids.push_back(grid);
        }
        path = (std::filesystem::temp_directory_path() /
                ("korloader-six-" + std::to_string(getpid()) + ".vdb"))
                   .string();
        openvdb::io::File file(path);
        file.setCompression(openvdb::io::COMPRESS_BLOSC | openvdb::io::COMPRESS_ACTIVE_MASK);
        file.write(grids);
    }
    ~VdbTwin() { std::remove(path.c_str()); }
};

const std::string& vdbTwin() {
    static const VdbTwin twin;
    return twin.path;
}

double fileMB(const std::string& path) {
    return double(std::filesystem::file_size(path)) / 1e6;
}

void BM_OpenVdbSixGridsWarmDense(benchmark::State& state) {
    const std::string& path = vdbTwin();
    const int threads = int(state.range(0));
    DenseGrid dense(frameBox(), 0.0f);
    tbb::task_arena arena(threads);
    for (auto _ : state) {
        arena.execute([&] {
            openvdb::io::File file(path);
            file.open(false);
            for (const korbench::SixChannel& spec : korbench::sixChannels()) {
                const openvdb::FloatGrid::Ptr grid =
                    openvdb::gridPtrCast<openvdb::FloatGrid>(file.readGrid(spec.vdbName));
                openvdb::tools::copyToDense(*grid, dense, threads == 1);
            }
            file.close();
        });
        benchmark::DoNotOptimize(dense.data());
    }
    state.counters["fileMB"] = fileMB(path);
}

void BM_KorSixChannelsFreshFrames(benchmark::State& state) {
    const std::string& path = korbench::sixChannelKorFile();
    std::vector<int> slots;
    for (const korbench::SixChannel& spec : korbench::sixChannels()) {
        slots.push_back(spec.channel);
    }
    korbench::readFreshFrames(state, slots, korbench::FrameTiming::WholeFrame);
    state.counters["fileMB"] = fileMB(path);
}

BENCHMARK(BM_OpenVdbSixGridsWarmDense)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_KorSixChannelsFreshFrames)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace

BENCHMARK_MAIN();
