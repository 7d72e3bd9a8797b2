// SPDX-License-Identifier: Apache-2.0
// Codec decode and encode speed on 256^3 grids, side by side with the literal reference
// decoder, zlib, libdeflate and memcpy of the same output bytes.
#include "BenchGrids.h"
#include "ReferenceDecoder.h"
#include "codec/InflateBlock.h"
#include "codec/SGCompressor.h"
#include "codec/ZoneEncoder.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <libdeflate.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr int GridSize = 256;

struct Encoded {
    std::vector<float> data;
    std::vector<uint8_t> stream;
};

Encoded encodeGrid(std::vector<float> data, int bits, int passes, bool zones = false) {
    const int32_t extents[3] = {GridSize, GridSize, GridSize};
    SGCompressor<3> compressor;
    const uint64_t size =
        zones ? compressZones(compressor, data.data(), extents, bits, 0.0f, passes, 4)
              : compressor.Compress(data.data(), extents, bits, 0.0f, passes);
    Encoded encoded{std::move(data), {}};
    encoded.stream.assign(compressor.OutputData(), compressor.OutputData() + size);
    return encoded;
}

const Encoded& smoke() {
    static const Encoded encoded = encodeGrid(korbench::smokeGrid(GridSize), 16, 1);
    return encoded;
}
const Encoded& noise() {
    static const Encoded encoded = encodeGrid(korbench::noiseGrid(GridSize), 16, 1);
    return encoded;
}
const Encoded& dense() {
    static const Encoded encoded = encodeGrid(korbench::denseGrid(GridSize), 16, 1);
    return encoded;
}
const Encoded& velocity() {
    static const Encoded encoded = encodeGrid(korbench::velocityGrid(GridSize), 12, 2);
    return encoded;
}
const Encoded& smokeZones() {
    static const Encoded encoded = encodeGrid(korbench::smokeGrid(GridSize), 16, 1, true);
    return encoded;
}

void report(benchmark::State& state, const Encoded& encoded) {
    const auto voxels = static_cast<double>(encoded.data.size());
    state.counters["MVoxels/s"] =
        benchmark::Counter(voxels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(encoded.data.size() * 4));
    state.counters["ratio"] =
        static_cast<double>(encoded.data.size() * 4) / static_cast<double>(encoded.stream.size());
}

void decodeInto(benchmark::State& state, const Encoded& encoded, bool freshMemory) {
    std::vector<float> warm(encoded.data.size());
    for (auto _ : state) {
        float* out = warm.data();
        if (freshMemory) {
            out = static_cast<float*>(std::malloc(encoded.data.size() * 4));
        }
        SGCompressor<3> decoder;
        const int result = decoder.Decompress(encoded.stream.data(), out, false,
                                              encoded.stream.size(), encoded.data.size());
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        if (freshMemory) {
            std::free(out);
        }
    }
    report(state, encoded);
}

void BM_DecodeSmoke(benchmark::State& state) {
    decodeInto(state, smoke(), false);
}
void BM_DecodeSmokeFreshMemory(benchmark::State& state) {
    decodeInto(state, smoke(), true);
}
void BM_DecodeNoise(benchmark::State& state) {
    decodeInto(state, noise(), false);
}
void BM_DecodeDenseSmooth(benchmark::State& state) {
    decodeInto(state, dense(), false);
}
void BM_DecodeVelocityPasses2Bits12(benchmark::State& state) {
    decodeInto(state, velocity(), false);
}

void BM_LiteralReferenceSmoke(benchmark::State& state) {
    for (auto _ : state) {
        const kortest::ReferenceResult result = kortest::referenceDecode(smoke().stream, 3);
        benchmark::DoNotOptimize(result.values.data());
    }
    report(state, smoke());
}

// zlib level 6 of the raw floats, the alternative storage.
const std::vector<uint8_t>& smokeZlib() {
    static const std::vector<uint8_t> packed = [] {
        const std::vector<float>& data = smoke().data;
        uLongf size = compressBound(data.size() * 4);
        std::vector<uint8_t> bytes(size);
        compress2(bytes.data(), &size, reinterpret_cast<const Bytef*>(data.data()), data.size() * 4,
                  6);
        bytes.resize(size);
        return bytes;
    }();
    return packed;
}

void BM_ZlibInflateSmoke(benchmark::State& state) {
    std::vector<float> out(smoke().data.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(inflateBlock(
            smokeZlib().data(), static_cast<uint32_t>(smokeZlib().size()),
            reinterpret_cast<uint8_t*>(out.data()), static_cast<uint32_t>(out.size() * 4)));
    }
    Encoded sized{smoke().data, smokeZlib()};
    report(state, sized);
}

void BM_LibdeflateZlibSmoke(benchmark::State& state) {
    std::vector<float> out(smoke().data.size());
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    for (auto _ : state) {
        benchmark::DoNotOptimize(libdeflate_zlib_decompress(decompressor, smokeZlib().data(),
                                                            smokeZlib().size(), out.data(),
                                                            out.size() * 4, nullptr));
    }
    libdeflate_free_decompressor(decompressor);
    Encoded sized{smoke().data, smokeZlib()};
    report(state, sized);
}

void BM_MemcpyOutput(benchmark::State& state) {
    std::vector<float> out(smoke().data.size());
    for (auto _ : state) {
        std::memcpy(out.data(), smoke().data.data(), out.size() * 4);
        benchmark::ClobberMemory();
    }
    report(state, smoke());
}

void BM_EncodeSmoke(benchmark::State& state) {
    const int32_t extents[3] = {GridSize, GridSize, GridSize};
    SGCompressor<3> compressor;
    for (auto _ : state) {
        benchmark::DoNotOptimize(compressor.Compress(smoke().data.data(), extents, 16, 0, 1));
    }
    report(state, smoke());
}

// The zone encoder alone, as the writer's save runs it, at state.range(0) pool threads.
void BM_EncodeSmokeZones(benchmark::State& state) {
    XUtils::ThreadPool pool;
    setThreadPoolThreads(pool, int(state.range(0)));
    const int32_t extents[3] = {GridSize, GridSize, GridSize};
    {
        SGCompressor<3> compressor;
        for (auto _ : state) {
            benchmark::DoNotOptimize(
                compressZones(compressor, smoke().data.data(), extents, 16, 0, 1));
        }
    }
    setThreadPoolThreads(pool, 0);
    state.SetItemsProcessed(state.iterations() * int64_t(smoke().data.size()));
}

void decodeZones(benchmark::State& state, int threads) {
    XUtils::ThreadPool pool;
    if (threads > 0) {
        setThreadPoolThreads(pool, threads);
    }
    const Encoded& encoded = smokeZones();
    std::vector<float> out(encoded.data.size());
    {
        SGCompressor<3> decoder;
        for (auto _ : state) {
            benchmark::DoNotOptimize(decoder.Decompress(encoded.stream.data(), out.data(), false,
                                                        encoded.stream.size(), out.size()));
        }
    }
    setThreadPoolThreads(pool, 0);
    report(state, encoded);
}

void BM_DecodeSmokeZonesSequential(benchmark::State& state) {
    decodeZones(state, 0);
}
void BM_DecodeSmokeZonesPool2(benchmark::State& state) {
    decodeZones(state, 2);
}

} // namespace

BENCHMARK(BM_DecodeSmoke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeSmokeFreshMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralReferenceSmoke)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ZlibInflateSmoke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibdeflateZlibSmoke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyOutput)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDenseSmooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeVelocityPasses2Bits12)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSmoke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSmokeZones)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeSmokeZonesSequential)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeSmokeZonesPool2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
