// SPDX-License-Identifier: Apache-2.0
// kortool convert of one Blender (Mantaflow) frame to kor, the whole command as a user runs
// it (start, plug-in loading, import, encode, write), against OpenVDB's own read of the
// same file: open, read every grid and copy each float grid to a dense array.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>
#include <openvdb/tools/Dense.h>
#include <string>

namespace {

const std::string Frame = KOR_SAMPLES_DIR "/vdb/blender/fluid_data_0003.vdb";

void BM_KortoolConvertBlenderFrame(benchmark::State& state) {
    const std::string out = std::string(P_tmpdir) + "/korloader_bench_convert.kor";
    const std::string command =
        std::string(KORTOOL) + " convert " + Frame + " " + out + " >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("kortool convert failed");
            break;
        }
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_KortoolConvertBlenderFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenVdbReadBlenderFrame(benchmark::State& state) {
    openvdb::initialize();
    for (auto _ : state) {
        openvdb::io::File file(Frame);
        file.open();
        size_t voxels = 0;
        const openvdb::GridPtrVecPtr grids = file.getGrids();
        for (const openvdb::GridBase::Ptr& base : *grids) {
            const auto grid = openvdb::gridPtrCast<openvdb::FloatGrid>(base);
            if (!grid) {
                continue;
            }
            openvdb::tools::Dense<float, openvdb::tools::LayoutXYZ> dense(
                grid->evalActiveVoxelBoundingBox());
            openvdb::tools::copyToDense(*grid, dense);
            voxels += dense.valueCount();
        }
        benchmark::DoNotOptimize(voxels);
    }
}
BENCHMARK(BM_OpenVdbReadBlenderFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
