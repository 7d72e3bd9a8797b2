// SPDX-License-Identifier: Apache-2.0
// Writes small "kor" frames that together reach every reader path, as seeds for the mutation
// run: zone containers and single blocks, velocity (so Speed is derived), packed colour,
// particle groups in every storage method with identifiers, a legacy particle section, and
// the older trailers. Built from the test-side byte writers, not the library's writer.
//
//   kor_mutation_seeds <directory>
#include "codec/SGCompressor.h"
#include "codec/ZoneEncoder.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/particles/ParticleBytes.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace kortest;

namespace {

constexpr int Size = 12;

std::vector<float> field(int variant) {
    std::vector<float> values(Size * Size * Size);
    for (int k = 0; k < Size; ++k) {
        for (int j = 0; j < Size; ++j) {
            for (int i = 0; i < Size; ++i) {
                const float r =
                    std::sqrt(float((i - 6) * (i - 6) + (j - 5) * (j - 5) + (k - 6) * (k - 6)));
                const float value = r < 5.0f ? (5.0f - r) * float(variant + 1) * 0.1f : 0.0f;
                values[i + Size * (j + Size * k)] = variant % 2 == 0 ? value : value - 0.2f;
            }
        }
    }
    return values;
}

std::string encoded(const std::vector<float>& values, int bits, int passes, int slabs) {
    SGCompressor<3> compressor;
    const int32_t extents[3] = {Size, Size, Size};
    const uint64_t bytes =
        slabs > 0 ? compressZones(compressor, values.data(), extents, bits, 0.0f, passes, slabs)
                  : compressor.Compress(values.data(), extents, bits, 0.0f, passes);
    return std::string(reinterpret_cast<const char*>(compressor.OutputData()), bytes);
}

std::string packedColour() {
    std::string words;
    for (int v = 0; v < Size * Size * Size; ++v) {
        words += char(v & 0xFF);
        words += char((v >> 3) & 0xFF);
        words += char(255 - (v & 0xFF));
        words += char(7);
    }
    const std::string stream = zlibBytes(words);
    return KorBytes().i64(int64_t(stream.size())).raw(stream).bytes();
}

// Mask bits: Temperature, Smoke, the three velocities, packed colour, Fuel.
constexpr uint32_t GridMask = (1u << 1) | (1u << 2) | (0x7u << 4) | (1u << 18) | (1u << 10);

std::string gridRecords() {
    return gridRecord(2, encoded(field(0), 16, 1, 3)) + gridRecord(1, encoded(field(1), 12, 1, 0)) +
           gridRecord(4, encoded(field(2), 12, 2, 0)) + gridRecord(5, encoded(field(3), 12, 2, 0)) +
           gridRecord(6, encoded(field(4), 10, 0, 2)) + gridRecord(10, constantStream(1728, 0.5f)) +
           gridRecord(18, packedColour());
}

std::string header(const std::string& extra) {
    std::vector<float> transform = {0.1f, 0, 0, 0, 0.1f, 0, 0, 0, 0.1f, -1, 0, -1};
    return korHeader(KorBytes().i32(1).u32(GridMask).i32(2).floats(transform).bytes() +
                     gridTag(Size, Size, Size, gridRecords()) + KorBytes().i32(4).i32(7).bytes() +
                     extra);
}

std::vector<int64_t> identifiers(int count, bool ascending) {
    std::vector<int64_t> ids;
    for (int i = 0; i < count; ++i) {
        ids.push_back(ascending ? 100 + 3 * i : (i * 7) % count);
    }
    return ids;
}

std::string particleChunk() {
    const int count = 48;
    const std::vector<float> positions = samplePositions(count);
    const std::string raw = floatBytes(positions);
    ChunkGroup first{"sparks", 0, count, 5, {}};
    first.channels = {{0, 2, codecBytes(positions)},
                      {1, 1, zlibBytes(raw)},
                      {4, 3, componentMajorBytes(positions, 3)},
                      {10, 4, bitPlaneBytes(int64Bytes(identifiers(count, false)), 2)},
                      {2, 0, floatBytes(std::vector<float>(count, 0.25f))}};
    ChunkGroup second{"embers", 0x30000, 20, 0, {}};
    second.channels = {{0, 0, floatBytes(samplePositions(20))},
                       {10, 0, int64Bytes(identifiers(20, true))},
                       {12, 1, zlibBytes(std::string(80, '\3'))}};
    return korChunk(1002, particleChunkBody({first, second}));
}

std::string legacyParticles() {
    const int count = 16;
    const std::vector<float> positions = samplePositions(count);
    std::vector<int64_t> deltas = {9};
    for (int i = 1; i < count; ++i) {
        deltas.push_back(i % 5 == 0 ? -2 : 1);
    }
    const std::string idRecord = KorBytes()
                                     .i32(2)
                                     .i32(int32_t(identifierStream(deltas).size()))
                                     .raw(identifierStream(deltas))
                                     .i32(1)
                                     .i32(0x30000)
                                     .bytes();
    LegacyGroup group{"legacy", count, {{0, componentMajorBytes(positions, 3)}}, idRecord};
    return legacySection(13, {group});
}

void write(const std::string& directory, const std::string& name, const std::string& bytes) {
    std::ofstream(directory + "/" + name, std::ios::binary) << bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kor_mutation_seeds <directory>\n");
        return 2;
    }
    const std::string directory = argv[1];
    const std::string note = korChunk(1001, KorBytes().str("seed").bytes());
    const std::string ranges = korChunk(1003, KorBytes().i32(1).i32(2).f32(0).f32(1).bytes());
    const std::string summary = summaryChunk(
        {{"sparks", 48, 0x417, 0}, {"embers", 20, 0x1001, 0x30000}}, {-1, -1, -1, 1, 1, 1});
    write(directory, "grids-particles.kor",
          korFile(header(""), summary + note + particleChunk() + ranges));
    write(directory, "grids-v3.kor", korFile(header(""), korChunk(1001, "\4\0\0\0abcd", 3), 3));
    write(directory, "legacy-particles.kor", particleFileWithoutTrailer(legacyParticles()));
    write(directory, "grids-no-trailer.kor", header(""));
    return 0;
}
