// SPDX-License-Identifier: Apache-2.0
// Stored frames must not change when the encoder gets faster: every case is pinned to the
// FNV-1a digest and size of the stream the first encoder wrote for it. The grids use no
// transcendental functions, so every platform builds the same floats.
#include "codec/SGCompressor.h"
#include "codec/ZoneEncoder.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "tests/common/CapturedOutput.h"

#include <cinttypes>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

uint64_t fnv1a(const uint8_t* bytes, uint64_t size) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (uint64_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001B3u;
    }
    return hash;
}

uint32_t mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

float unitNoise(uint32_t e) {
    return static_cast<float>(mix(e) >> 8) * (1.0f / 16777216.0f);
}

using Voxel = std::function<float(float x, float y, float z, uint32_t e)>;

std::vector<float> makeGrid(int nx, int ny, int nz, const Voxel& voxel) {
    std::vector<float> grid;
    uint32_t e = 0;
    for (int k = 0; k < nz; ++k) {
        for (int j = 0; j < ny; ++j) {
            for (int i = 0; i < nx; ++i, ++e) {
                grid.push_back(voxel(static_cast<float>(i) / static_cast<float>(nx),
                                     static_cast<float>(j) / static_cast<float>(ny),
                                     static_cast<float>(k) / static_cast<float>(nz), e));
            }
        }
    }
    return grid;
}

// A ball of plume with a polynomial swirl and fine noise, exactly zero outside.
float smoke(float x, float y, float z, uint32_t e) {
    const float dx = x - 0.5f;
    const float dy = y - 0.5f;
    const float dz = z - 0.5f;
    const float d2 = (dx * dx + dy * dy + dz * dz) * 6.5f;
    if (d2 >= 1.0f) {
        return 0.0f;
    }
    const float swirl = 0.5f + 2.0f * x * (1.0f - x) * (y * y - z);
    return (1.0f - d2) * swirl + 0.01f * unitNoise(e);
}

float velocity(float x, float y, float z, uint32_t e) {
    return 4.0f * (x - 0.5f) * (y * y - 0.3f) + z + 0.2f * (unitNoise(e) - 0.5f);
}

float noise(float, float, float, uint32_t e) {
    return unitNoise(e);
}

// Eight levels spread over 875 units: with a fine step the items span far more symbols
// than can be counted in an array.
float sparseLevels(float, float, float, uint32_t e) {
    return static_cast<float>(mix(e) % 8) * 125.0f;
}

struct DigestCase {
    const char* label;
    int axes;
    int32_t extents[3];
    std::vector<float> data;
    int bits;
    float step;
    int passes;
    uint64_t size;
    uint64_t digest;
};

std::vector<float> values(std::initializer_list<float> list) {
    return std::vector<float>(list);
}

const float Inf = std::numeric_limits<float>::infinity();
const float NaN = std::numeric_limits<float>::quiet_NaN();

std::vector<DigestCase> singleBlockCases() {
    const std::vector<float> smokeOdd = makeGrid(61, 47, 53, smoke);
    const std::vector<float> velocityGrid = makeGrid(33, 65, 17, velocity);
    std::vector<float> withNaN = makeGrid(9, 8, 7, smoke);
    withNaN[200] = NaN;
    std::vector<float> withInf = makeGrid(9, 8, 7, smoke);
    withInf[0] = -Inf;
    // clang-format off
    return {
        {"smoke odd extents, 16 bits, 1 pass", 3, {61, 47, 53}, smokeOdd, 16, 0, 1, 81932, 0x23E2D65CDE91CE3A},
        {"smoke odd extents, 8 bits, 2 passes", 3, {61, 47, 53}, smokeOdd, 8, 0, 2, 43276, 0x15C95CBF8EF5B4CF},
        {"smoke odd extents, 12 bits, no pass", 3, {61, 47, 53}, smokeOdd, 12, 0, 0, 67868, 0x4DC3A4BE6E0D5D6B},
        {"smoke 96x80x72, 16 bits, 1 pass", 3, {96, 80, 72}, makeGrid(96, 80, 72, smoke), 16, 0,
         1, 254456, 0x35E9A00C7F874503},
        {"velocity, step 0.01, 1 pass", 3, {33, 65, 17}, velocityGrid, 0, 0.01f, 1, 28084, 0xACE420B2500CEE29},
        {"velocity, 19 bits, 3 passes", 3, {33, 65, 17}, velocityGrid, 19, 0, 3, 104872, 0xB359C5DDA6993098},
        {"noise, 16 bits", 3, {37, 29, 31}, makeGrid(37, 29, 31, noise), 16, 0, 0, 70720, 0x0BEA8F749F77CB29},
        {"noise, 6 bits, 1 pass", 3, {37, 29, 31}, makeGrid(37, 29, 31, noise), 6, 0, 1, 32948, 0x49AFFB52FD5D750D},
        {"noise one axis, 19 bits, 1 pass", 1, {100003}, makeGrid(100003, 1, 1, noise), 19, 0,
         1, 250036, 0xFC1212DA00930B8B},
        {"smoke one axis, 16 bits, 2 passes", 1, {61 * 47 * 53}, smokeOdd, 16, 0, 2, 78308, 0x7BE004B9C52F90AA},
        {"sparse wide levels", 1, {5000}, makeGrid(5000, 1, 1, sparseLevels), 0, 1e-6f, 0, 1948, 0x6A28588FA08A133A},
        {"passes beyond the extents", 3, {2, 3, 5}, makeGrid(2, 3, 5, velocity), 10, 0, 4, 76, 0xC4C09329795992A4},
        {"two voxels", 1, {2}, values({0.25f, 0.75f}), 16, 0, 1, 32, 0x633BE88F7833A2D2},
        {"one voxel", 3, {1, 1, 1}, values({0.5f}), 16, 0, 1, 11, 0xD604F2788B7020CB},
        {"empty grid", 3, {4, 0, 3}, {}, 16, 0, 1, 11, 0xF4FFE681965FB763},
        {"constant", 3, {5, 4, 3}, std::vector<float>(60, 2.5f), 16, 0, 1, 11, 0x38330CA026D10F7F},
        {"constant within 1e-20", 1, {3}, values({1e-21f, 0.0f, 5e-21f}), 16, 0, 1, 11, 0x980F91667591D900},
        {"negative zero first", 1, {3}, values({-0.0f, 0.0f, 0.0f}), 16, 0, 1, 11, 0x981011667592B280},
        {"positive zero first", 1, {3}, values({0.0f, -0.0f, -0.0f}), 16, 0, 1, 11, 0x980F91667591D900},
        {"negative zero minimum later", 1, {5}, values({0.5f, -0.0f, 0.0f, 1.0f, 0.25f}), 8, 0,
         1, 32, 0xF28EC140600E1D01},
        {"positive zero minimum later", 1, {5}, values({0.5f, 0.0f, -0.0f, 1.0f, 0.25f}), 8, 0,
         1, 32, 0xD255131CAF61D081},
        {"NaN inside", 3, {9, 8, 7}, withNaN, 16, 0, 1, 11, 0x329E3BB9DC5BB480},
        {"infinity first", 3, {9, 8, 7}, withInf, 16, 0, 1, 11, 0x329E3BB9DC5BB480},
        {"denormal range", 1, {6}, values({0.0f, 1e-40f, 3e-41f, 1e-19f, 2e-20f, 7e-38f}), 16, 0,
         1, 40, 0xA5959AFAFDB966DA},
        {"range overflowing to infinity", 1, {3}, values({-3e38f, 3e38f, 0.0f}), 16, 0, 1, 19, 0xB21F747F25E0FC5F},
        {"step 0", 1, {3}, values({0.0f, 1.0f, 2.0f}), 0, 0.0f, 1, 19, 0xF4D393E62649B18A},
        {"raw", 3, {9, 8, 7}, makeGrid(9, 8, 7, smoke), 20, 0, 1, 2023, 0xDF18B85D1A77D99F},
        {"linear ramp, 2 passes", 3, {19, 11, 13},
         makeGrid(19, 11, 13, [](float x, float y, float z, uint32_t) { return x + y + z; }), 0,
         1.0f / 1024.0f, 2, 1148, 0x64B4864F0C330ACB},
        {"thin in y, 1 pass", 3, {29, 1, 31}, makeGrid(29, 1, 31, velocity), 14, 0, 1, 1608, 0x9C7C03B90F71D982},
        {"thin in z, 1 pass", 3, {29, 31, 1}, makeGrid(29, 31, 1, velocity), 14, 0, 1, 1608, 0xCA8C1F34C08618D5},
        {"thin in x, 1 pass", 3, {1, 29, 31}, makeGrid(1, 29, 31, velocity), 14, 0, 1, 1608, 0x4271B8116491C8CB},
        {"a column, 1 pass", 3, {1, 1, 97}, makeGrid(1, 1, 97, velocity), 14, 0, 1, 192, 0x634CE1342F023DE9},
        {"rows longer than a chunk, 1 pass", 3, {4099, 3, 4}, makeGrid(4099, 3, 4, smoke), 16, 0,
         1, 29644, 0xB274780E3400943D},
        {"rows longer than a chunk, no pass", 3, {4099, 3, 4}, makeGrid(4099, 3, 4, velocity), 12,
         0, 0, 77564, 0xD447E5758327E592},
        {"smoke, 3 passes", 3, {33, 29, 31}, makeGrid(33, 29, 31, smoke), 16, 0, 3, 32560, 0x45E2FC20E9F3A565},
    };
    // clang-format on
}

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIX64, value);
    return text;
}

void expectDigest(const DigestCase& c, const uint8_t* bytes, uint64_t size) {
    EXPECT_EQ(size, c.size) << c.label;
    EXPECT_EQ(hex(fnv1a(bytes, size)), hex(c.digest)) << c.label << " (size " << size << ")";
}

} // namespace

TEST(EncoderDigests, SingleBlocksMatchTheStoredStreams) {
    kortest::CapturedLog log;
    for (const DigestCase& c : singleBlockCases()) {
        uint64_t size = 0;
        const uint8_t* bytes = nullptr;
        SGCompressor<1> linear;
        SGCompressor<3> grid;
        if (c.axes == 1) {
            size = linear.Compress(c.data.data(), c.extents, c.bits, c.step, c.passes);
            bytes = linear.OutputData();
        } else {
            size = grid.Compress(c.data.data(), c.extents, c.bits, c.step, c.passes);
            bytes = grid.OutputData();
        }
        expectDigest(c, bytes, size);
    }
}

TEST(EncoderDigests, ZoneContainersMatchTheStoredStreamsWhateverThePool) {
    const std::vector<float> smokeGrid = makeGrid(64, 48, 40, smoke);
    const std::vector<float> noiseGrid = makeGrid(23, 17, 11, noise);
    // clang-format off
    const DigestCase cases[] = {
        {"smoke in 5 slabs", 3, {64, 48, 40}, smokeGrid, 16, 0, 1, 65356, 0xDCA6780D87CD0E62},
        {"smoke in 3 slabs, 2 passes", 3, {64, 48, 40}, smokeGrid, 12, 0, 2, 66308, 0x05F85318AC6E3E92},
        {"noise in 5 slabs", 3, {23, 17, 11}, noiseGrid, 16, 0, 0, 9356, 0xD865074DE2FED95B},
    };
    // clang-format on
    const int slabs[] = {5, 3, 5};
    kortest::CapturedLog log;
    kortest::CapturedDebugOutput warnings;
    XUtils::ThreadPool pool;
    for (int threads : {0, 1, 2}) {
        setThreadPoolThreads(pool, threads);
        for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
            SGCompressor<3> compressor;
            const DigestCase& c = cases[i];
            const uint64_t size = compressZones(compressor, c.data.data(), c.extents, c.bits,
                                                c.step, c.passes, slabs[i]);
            SCOPED_TRACE(threads);
            expectDigest(c, compressor.OutputData(), size);
        }
    }
    setThreadPoolThreads(pool, 0);
}
