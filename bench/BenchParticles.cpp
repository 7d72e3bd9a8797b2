// SPDX-License-Identifier: Apache-2.0
// Particle channel decode throughput for 10^6 positions stored with methods 1 to 4, on the
// calling thread and with the pool at 2 threads, and identifier lookup over 10^6
// unordered identifiers (the first call decodes and sorts, later calls only search).
#include "codec/SGCompressor.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "particles/PGroup.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

constexpr int32_t ParticleCount = 1000000;

// A random walk: neighbouring particles sit close together, as in a simulation's output.
const std::vector<float>& positions() {
    static const std::vector<float> values = [] {
        std::mt19937 random(11);
        std::uniform_real_distribution<float> step(-0.01f, 0.01f);
        std::vector<float> walk(size_t(ParticleCount) * 3);
        float at[3] = {};
        for (size_t i = 0; i < walk.size(); ++i) {
            at[i % 3] += step(random);
            walk[i] = at[i % 3];
        }
        return walk;
    }();
    return values;
}

std::string zlibOf(const void* bytes, size_t size) {
    uLongf packed = compressBound(uLong(size));
    std::string out(packed, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &packed, static_cast<const Bytef*>(bytes),
              uLong(size), 6);
    out.resize(packed);
    return out;
}

std::string codecOf(const std::vector<float>& values) {
    SGCompressor<1> compressor;
    const int32_t extents[1] = {int32_t(values.size())};
    const uint64_t size = compressor.Compress(values.data(), extents, 16, 0.0f, 1);
    return std::string(reinterpret_cast<const char*>(compressor.OutputData()), size);
}

std::string bitPlanesOf(const std::vector<float>& values) {
    const size_t planeWords = (size_t(ParticleCount) + 31) / 32;
    std::vector<uint32_t> planes(planeWords * 3 * 32, 0);
    for (size_t i = 0; i < size_t(ParticleCount); ++i) {
        for (size_t j = 0; j < 3; ++j) {
            uint32_t word;
            std::memcpy(&word, &values[i * 3 + j], 4);
            for (size_t b = 0; b < 32; ++b) {
                planes[(j * 32 + b) * planeWords + i / 32] |= ((word >> b) & 1u) << (i % 32);
            }
        }
    }
    return zlibOf(planes.data(), planes.size() * 4);
}

const std::string& storedPositions(uint32_t method) {
    static const std::string stored[5] = {
        "",
        zlibOf(positions().data(), positions().size() * 4),
        codecOf(positions()),
        [] {
            std::vector<float> byComponent;
            for (size_t j = 0; j < 3; ++j) {
                for (size_t i = 0; i < size_t(ParticleCount); ++i) {
                    byComponent.push_back(positions()[i * 3 + j]);
                }
            }
            return codecOf(byComponent);
        }(),
        bitPlanesOf(positions()),
    };
    return stored[method];
}

// Gives the frame one group of ParticleCount particles with channel stored by method.
FluxaFrameData::PGroup& storedGroup(FluxaFrameData& frame, int channel, uint32_t method,
                                    const std::string& bytes) {
    frame.groups.SetSize(1);
    FluxaFrameData::PGroup& group = frame.groups[0];
    group.count = ParticleCount;
    group.channels[channel].method = method;
    group.channels[channel].compressed.SetSize(int64_t(bytes.size()), nullptr, true);
    std::memcpy(group.channels[channel].compressed.Data(), bytes.data(), bytes.size());
    return group;
}

// Runs measured(group) on a fresh group per iteration; making and destroying it is not
// measured.
template <typename Measured>
void timeFreshGroups(benchmark::State& state, int channel, uint32_t method,
                     const std::string& bytes, Measured measured) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            FluxaFrameData frame;
            FluxaFrameData::PGroup& group = storedGroup(frame, channel, method, bytes);
            state.ResumeTiming();
            measured(group);
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}

void BM_DecodePositions(benchmark::State& state) {
    const uint32_t method = uint32_t(state.range(0));
    const int threads = int(state.range(1));
    const std::string& stored = storedPositions(method);
    XUtils::ThreadPool pool;
    if (threads > 1) {
        setThreadPoolThreads(pool, threads);
    }
    timeFreshGroups(state, 0, method, stored, [&](FluxaFrameData::PGroup& group) {
        if (!group.decompressChannel(0, true)) {
            state.SkipWithError("decode failed");
        }
    });
    setThreadPoolThreads(pool, 0);
    state.SetItemsProcessed(state.iterations() * ParticleCount);
    state.counters["stored_MB"] = double(stored.size()) / 1e6;
}

std::string unorderedIdentifiers() {
    std::vector<int64_t> ids(ParticleCount);
    for (int32_t i = 0; i < ParticleCount; ++i) {
        ids[size_t(i)] = int64_t(i) * 3 + 1000000000000LL;
    }
    std::shuffle(ids.begin(), ids.end(), std::mt19937(5));
    return std::string(reinterpret_cast<const char*>(ids.data()), ids.size() * 8);
}

void BM_FindParticleByIdFirstCall(benchmark::State& state) {
    static const std::string ids = unorderedIdentifiers();
    timeFreshGroups(state, 10, 0, ids, [](FluxaFrameData::PGroup& group) {
        benchmark::DoNotOptimize(group.findParticleById(1000000000003LL));
    });
}

void BM_FindParticleByIdLaterCalls(benchmark::State& state) {
    static const std::string ids = unorderedIdentifiers();
    FluxaFrameData frame;
    FluxaFrameData::PGroup& group = storedGroup(frame, 10, 0, ids);
    group.findParticleById(0);
    int64_t id = 1000000000000LL;
    for (auto _ : state) {
        benchmark::DoNotOptimize(group.findParticleById(id));
        id += 3;
    }
}

} // namespace

BENCHMARK(BM_DecodePositions)
    ->ArgsProduct({{1, 2, 3, 4}, {1, 2}})
    ->ArgNames({"method", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FindParticleByIdFirstCall)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FindParticleByIdLaterCalls);

BENCHMARK_MAIN();
