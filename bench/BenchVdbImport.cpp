// SPDX-License-Identifier: Apache-2.0
// A 256^3 smoke grid read from an OpenVDB file: through the library (newIKor, which loads
// the vdbbridge module, then getChannel) against OpenVDB's own read and copyToDense of the
// same grid, serial and on OpenVDB's thread pool.
#include "BenchGrids.h"
#include "korloader/IKor.h"
#include "korloader/KorMappings.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>
#include <openvdb/tools/Dense.h>
#include <string>

namespace {

constexpr int GridSide = 256;

// The smoke plume of the codec benchmarks as a fog volume, written once per run.
const std::string& smokeFile() {
    static const std::string path = [] {
        openvdb::initialize();
        const std::vector<float> values = korbench::smokeGrid(GridSide);
        openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
        grid->setName("density");
        grid->setGridClass(openvdb::GRID_FOG_VOLUME);
        auto accessor = grid->getAccessor();
        size_t index = 0;
        for (int k = 0; k < GridSide; ++k) {
            for (int j = 0; j < GridSide; ++j) {
                for (int i = 0; i < GridSide; ++i, ++index) {
                    if (values[index] != 0.0f) {
                        accessor.setValue(openvdb::Coord(i, j, k), values[index]);
                    }
                }
            }
        }
        const std::string file = std::string(P_tmpdir) + "/korloader_bench_smoke256.vdb";
        openvdb::io::File(file).write(openvdb::GridPtrVec{grid});
        return file;
    }();
    return path;
}

void BM_VdbThroughLibrary(benchmark::State& state) {
    const std::string& path = smokeFile();
    if ((initalizeKoraLoader(nullptr, nullptr, 0) & 2) == 0) {
        state.SkipWithError("the vdbbridge module was not found");
        return;
    }
    int64_t voxels = 0;
    for (auto _ : state) {
        IKor* frame = newIKor(path.c_str());
        if (frame == nullptr || frame->getChannel(FluxaEnum::Smoke) == nullptr) {
            state.SkipWithError("the frame did not open");
            return;
        }
        int size[3];
        frame->getGridSize(size);
        voxels = int64_t(size[0]) * size[1] * size[2];
        deleteIKor(frame);
    }
    state.counters["voxels"] = double(voxels);
    state.SetItemsProcessed(state.iterations() * voxels);
}
BENCHMARK(BM_VdbThroughLibrary)->Unit(benchmark::kMillisecond);

void openVdbCopyToDense(benchmark::State& state, bool serial) {
    const std::string& path = smokeFile();
    int64_t voxels = 0;
    for (auto _ : state) {
        openvdb::io::File file(path);
        file.open(false);
        const auto grid = openvdb::gridPtrCast<openvdb::FloatGrid>(file.readGrid("density"));
        const openvdb::CoordBBox box = grid->evalActiveVoxelBoundingBox();
        openvdb::tools::Dense<float, openvdb::tools::LayoutXYZ> dense(box);
        openvdb::tools::copyToDense(*grid, dense, serial);
        benchmark::DoNotOptimize(dense.data());
        voxels = int64_t(dense.valueCount());
    }
    state.counters["voxels"] = double(voxels);
    state.SetItemsProcessed(state.iterations() * voxels);
}

void BM_OpenVdbCopyToDenseSerial(benchmark::State& state) {
    openVdbCopyToDense(state, true);
}
BENCHMARK(BM_OpenVdbCopyToDenseSerial)->Unit(benchmark::kMillisecond);

void BM_OpenVdbCopyToDenseThreaded(benchmark::State& state) {
    openVdbCopyToDense(state, false);
}
BENCHMARK(BM_OpenVdbCopyToDenseThreaded)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
