// SPDX-License-Identifier: Apache-2.0
// Writes the frames of the cross-platform check: every kind of grid record and particle
// payload the suite knows, built by the test-side writers and the library's encoder from
// integer arithmetic only, so that every platform writes the same bytes.
//
//   korloader_make_frames <directory>
#include "codec/SGCompressor.h"
#include "codec/ZoneEncoder.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/codec/RandomStreams.h"
#include "tests/frame/FrameFixtures.h"
#include "tests/particles/ParticleBytes.h"

#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace kortest;

namespace {

constexpr int32_t Nx = 9, Ny = 7, Nz = 5;
constexpr size_t Voxels = size_t(Nx) * Ny * Nz;

// A value per voxel from a small integer hash, in steps of 1/256.
std::vector<float> field(uint32_t seed, float low, float span) {
    std::vector<float> values(Voxels);
    for (size_t v = 0; v < Voxels; ++v) {
        uint32_t h = uint32_t(v) * 2654435761u ^ seed;
        h ^= h >> 15;
        h *= 2246822519u;
        values[v] = low + span * float(h >> 24) / 256.0f;
    }
    return values;
}

std::string encoded(const std::vector<float>& values, int bits, int passes) {
    SGCompressor<3> compressor;
    const int32_t extents[3] = {Nx, Ny, Nz};
    const uint64_t bytes = compressor.Compress(values.data(), extents, bits, 0.0f, passes);
    return std::string(reinterpret_cast<const char*>(compressor.OutputData()), bytes);
}

std::string zoned(const std::vector<float>& values) {
    SGCompressor<3> compressor;
    const int32_t extents[3] = {Nx, Ny, Nz};
    const uint64_t bytes = compressZones(compressor, values.data(), extents, 16, 0.0f, 1, 3);
    return std::string(reinterpret_cast<const char*>(compressor.OutputData()), bytes);
}

std::string frameRecords(const std::string& table, uint32_t mask) {
    KorBytes records;
    records.i32(1).u32(mask);
    records.i32(2).floats({0.5f, 0, 0, 0, 0.25f, 0, 0, 0, 2, -4, 8, 1.5f});
    records.raw(gridTag(Nx, Ny, Nz, table));
    return records.bytes();
}

// Every grid record form: a zone container, coded streams with one and two difference
// passes, a random table-coded stream, raw values with NaN, infinities and -0, a constant,
// the velocity that speed is derived from, and colour packed into slot 18.
std::string gridFrame() {
    std::mt19937 random(20261208);
    RandomStreamShape shape;
    shape.extents = {uint32_t(Nx), uint32_t(Ny), uint32_t(Nz)};
    shape.passes = 2;
    const std::vector<uint8_t> tableCoded = randomCodedStream(random, shape);
    std::vector<float> wavelet = field(7, -1.0f, 2.0f);
    wavelet[0] = -0.0f;
    wavelet[1] = std::numeric_limits<float>::infinity();
    wavelet[2] = -std::numeric_limits<float>::infinity();
    wavelet[3] = std::numeric_limits<float>::quiet_NaN();
    std::vector<uint8_t> colour(Voxels * 4);
    for (size_t i = 0; i < colour.size(); ++i) {
        colour[i] = uint8_t(i * 37 + 11);
    }
    const std::string table = gridRecord(2, zoned(field(1, 0.0f, 1.0f))) +
                              gridRecord(1, encoded(field(2, 300.0f, 900.0f), 12, 2)) +
                              gridRecord(10, std::string(tableCoded.begin(), tableCoded.end())) +
                              gridRecord(4, encoded(field(4, -2.0f, 4.0f), 12, 1)) +
                              gridRecord(5, encoded(field(5, 0.0f, 6.0f), 14, 1)) +
                              gridRecord(6, encoded(field(6, -1.0f, 1.0f), 10, 0)) +
                              gridRecord(14, rawStream(wavelet)) +
                              gridRecord(15, constantStream(uint32_t(Voxels), 0.125f)) +
                              gridRecord(18, packedColourPayload(colour));
    const uint32_t mask = (1u << 1) | (1u << 2) | (1u << 4) | (1u << 5) | (1u << 6) | (1u << 7) |
                          (1u << 8) | (1u << 9) | (1u << 10) | (1u << 14) | (1u << 15);
    return korFile(korHeader(frameRecords(table, mask)), "");
}

std::vector<int64_t> identifiers(int count) {
    std::vector<int64_t> ids;
    for (int i = 0; i < count; ++i) {
        ids.push_back((int64_t(i * 7919 % count) << 33) - 1000);
    }
    return ids;
}

// Chunk 1002 with every storage method, the library's own particle codec among them.
std::string particleFrame() {
    const int count = 70;
    const std::vector<float> positions = samplePositions(count);
    std::vector<float> sizes;
    for (int i = 0; i < count; ++i) {
        sizes.push_back(float(i % 13) / 8.0f);
    }
    SGCompressor<1> compressor;
    const int32_t extent = count;
    const uint64_t codedBytes = compressor.Compress(sizes.data(), &extent, 12, 0.0f, 1);
    const std::string coded(reinterpret_cast<const char*>(compressor.OutputData()), codedBytes);
    const std::string chunk = korChunk(
        1002,
        particleChunkBody({{"sparks",
                            0,
                            count,
                            5,
                            {{0, 2, codecBytes(positions)},
                             {1, 1, zlibBytes(floatBytes(samplePositions(count)))},
                             {2, 2, coded},
                             {3, 0, floatBytes(sizes)},
                             {4, 3, componentMajorBytes(positions, 3)},
                             {10, 4, bitPlaneBytes(int64Bytes(identifiers(count)), 2)}}},
                           {"smoke trail", 0x30000, 3, 0, {{0, 0, floatBytes(samplePositions(3))}}},
                           {"empty", 0, 0, 0, {}}}));
    const std::string summary = summaryChunk({{"sparks", count, 0x41F, 0}}, {0, -3, -17, 35, 3, 0});
    const std::string table = gridRecord(4, constantStream(uint32_t(Voxels), 1.5f)) +
                              gridRecord(5, constantStream(uint32_t(Voxels), -0.5f)) +
                              gridRecord(6, constantStream(uint32_t(Voxels), 2.0f));
    return korFile(korHeader(frameRecords(table, (1u << 4) | (1u << 5) | (1u << 6))),
                   summary + chunk);
}

// The legacy record section, with identifiers as running sums of coded deltas.
std::string legacyFrame() {
    const std::string ids = identifierStream({5, -2, 1LL << 35, 9});
    const std::vector<float> positions = samplePositions(4);
    return particleFileWithoutTrailer(
        legacySection(13, {{"foam",
                            4,
                            {{0, rawStream(positions)}, {9, rawStream({1, 2, 3, 4})}},
                            KorBytes().i32(2).i32(int32_t(ids.size())).raw(ids).bytes()}}) +
        gridTag(2, 2, 1, gridRecord(2, rawStream({0.25f, 0.5f, 0.75f, 1.0f}))));
}

// What the MSVC-mode host expects, value for value: a 4x3x2 grid whose smoke counts up in
// halves, velocity (3, 4, 12) everywhere, one group "spray" of five particles and one
// group "ghost" without positions.
std::string hostFrame() {
    std::vector<float> smoke;
    for (int v = 0; v < 24; ++v) {
        smoke.push_back(float(v) * 0.5f);
    }
    KorBytes records;
    records.i32(1).u32((1u << 2) | (1u << 4) | (1u << 5) | (1u << 6));
    records.i32(2).floats({2, 0, 0, 0, 3, 0, 0, 0, 4, 10, 20, 30});
    records.raw(gridTag(4, 3, 2,
                        gridRecord(2, rawStream(smoke)) + gridRecord(4, constantStream(24, 3)) +
                            gridRecord(5, constantStream(24, 4)) +
                            gridRecord(6, constantStream(24, 12))));
    const std::string chunk =
        korChunk(1002, particleChunkBody({{"spray",
                                           0,
                                           5,
                                           0,
                                           {{0, 0, floatBytes(samplePositions(5))},
                                            {2, 0, floatBytes({0.25f, 0.25f, 0.25f, 0.25f, 0.25f})},
                                            {10, 0, int64Bytes({1000, 999, 998, 997, 996})}}},
                                          {"ghost", 0, 2, 0, {{2, 0, floatBytes({1, 2})}}}}));
    return korFile(korHeader(records.bytes()), chunk);
}

bool write(const std::string& directory, const char* name, const std::string& bytes) {
    std::ofstream out(directory + "/" + name, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out.flush());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korloader_make_frames <directory>\n");
        return 2;
    }
    const std::string directory = argv[1];
    const bool written = write(directory, "grids.kor", gridFrame()) &&
                         write(directory, "particles.kor", particleFrame()) &&
                         write(directory, "legacy.kor", legacyFrame()) &&
                         write(directory, "host.kor", hostFrame());
    return written ? 0 : 1;
}
