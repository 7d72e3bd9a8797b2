// SPDX-License-Identifier: Apache-2.0
// Zone containers: sequential and parallel decode, job reuse, failing and lying zones,
// and the slab encoder.
#include "RandomStreams.h"
#include "StreamBuilder.h"
#include "codec/SGCompressor.h"
#include "codec/ZoneEncoder.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/FailingAllocations.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using kortest::StreamBuilder;

namespace {

std::vector<uint8_t> constantBlock(uint32_t count, float value) {
    StreamBuilder out;
    out.u16(0xFC01).u8(1).u32(count).f32(value);
    return out.data;
}

struct ZoneSpec {
    int32_t outputOffset;
    int32_t inputOffset; // -1: stream appended after the previous one; else bytes reused
    std::vector<uint8_t> stream;
};

std::vector<uint8_t> container(const std::vector<ZoneSpec>& zones) {
    StreamBuilder out;
    out.u16(0xFC02).u16(static_cast<uint32_t>(zones.size()));
    for (const ZoneSpec& zone : zones) {
        out.u32(static_cast<uint32_t>(zone.outputOffset));
    }
    int32_t next = 0;
    std::vector<uint8_t> body;
    for (const ZoneSpec& zone : zones) {
        out.u32(static_cast<uint32_t>(zone.inputOffset >= 0 ? zone.inputOffset : next));
        if (zone.inputOffset < 0) {
            next += static_cast<int32_t>(zone.stream.size());
            body.insert(body.end(), zone.stream.begin(), zone.stream.end());
        }
    }
    return out.bytes(body).data;
}

std::vector<float> decode3(SGCompressor<3>& compressor, const std::vector<uint8_t>& stream,
                           uint64_t room, int* result = nullptr) {
    std::vector<float> out(room, -1.0f);
    const int decoded =
        compressor.Decompress(stream.data(), out.data(), false, stream.size(), room);
    if (result != nullptr) {
        *result = decoded;
    }
    return out;
}

std::vector<float> grid(uint64_t elements, uint32_t seed) {
    std::mt19937 rng(seed);
    return kortest::randomGrid(rng, elements);
}

// The pool pushed for the test's lifetime, with two threads.
class PooledZones : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setThreadPoolThreads(pool, 2), 2); }
    void TearDown() override { setThreadPoolThreads(pool, 0); }
    XUtils::ThreadPool pool;
};

} // namespace

TEST(Zones, FailingZonesAreZeroedAndTheOthersDecoded) {
    // A coded zone whose items run out after its first span: before the fix that span
    // stayed decoded and the rest kept what the output held.
    StreamBuilder cut;
    kortest::writeCodedHeader(cut, {8192, 1, 1}, 1.0f, 0.0f, 0, 0);
    cut.bits(1, 8).bits(0, 32);
    for (int i = 0; i < 700; ++i) {
        cut.u8(0xFF);
    }
    const std::vector<uint8_t> stream = container({
        {0, -1, constantBlock(3, 1.0f)},
        {3, -1, {0x01, 0xFC, 0x07, 0, 0, 0, 0}},
        {6, -1, constantBlock(2, 3.0f)},
        {8, -1, cut.data},
    });
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    int result = 0;
    std::vector<float> expected(8 + 8192 + 2, 0.0f);
    std::fill_n(expected.begin(), 3, 1.0f);
    std::fill_n(expected.begin() + 6, 2, 3.0f);
    EXPECT_EQ(decode3(compressor, stream, expected.size(), &result), expected);
    EXPECT_EQ(result, 1);
}

TEST(Zones, OffsetsOutsideTheInputOrOutputCostOnlyTheirZone) {
    const std::vector<uint8_t> stream = container({
        {0, -1, constantBlock(2, 1.0f)},
        {9, 0, constantBlock(1, 2.0f)},    // output offset past the room
        {2, 5000, constantBlock(1, 3.0f)}, // input offset past the stream
        {-4, 0, constantBlock(1, 4.0f)},   // negative output offset
        {4, -1, constantBlock(2, 5.0f)},   // runs past the room
        {3, -1, constantBlock(1, 6.0f)},
    });
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    EXPECT_EQ(decode3(compressor, stream, 5), (std::vector<float>{1, 1, 0, 6, 0}));
}

TEST(Zones, EachZoneGetsTheRoomItsHeaderStates) {
    // An empty zone listed after a full one at the same offset: before the fix the empty
    // zone took the room and the full one was refused.
    const std::vector<uint8_t> shared = container({
        {0, -1, constantBlock(3, 1.0f)},
        {0, -1, constantBlock(0, 9.0f)},
        {3, -1, constantBlock(1, 2.0f)},
    });
    SGCompressor<3> compressor;
    EXPECT_EQ(decode3(compressor, shared, 5), (std::vector<float>{1, 1, 1, 2, 0}));
    // Zones whose ranges overlap are refused, both of them, whatever their order.
    const std::vector<uint8_t> overlapping = container({
        {2, -1, constantBlock(2, 2.0f)},
        {0, -1, constantBlock(3, 1.0f)},
        {4, -1, constantBlock(1, 3.0f)},
    });
    kortest::CapturedLog log;
    EXPECT_EQ(decode3(compressor, overlapping, 5), (std::vector<float>{0, 0, 0, 0, 3}));
    EXPECT_EQ(log.Text(), "Codec stream refused: 2 zones that overlap others\n");
}

TEST(Zones, NestedContainersDecodeUpToEightLevels) {
    // Each level puts a constant of its depth first, then the next level behind it.
    const auto nest = [](int levels) {
        std::vector<uint8_t> stream = container({{0, -1, constantBlock(1, float(levels))}});
        for (int level = levels - 1; level >= 1; --level) {
            stream = container({{0, -1, constantBlock(1, float(level))}, {1, -1, stream}});
        }
        return stream;
    };
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    EXPECT_EQ(decode3(compressor, nest(8), 8), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8}));
    kortest::CapturedLog log;
    EXPECT_EQ(decode3(compressor, nest(9), 9), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 0}));
    EXPECT_EQ(log.Text(), "Codec stream refused: zone containers nested deeper than 8 levels\n");
}

TEST(Zones, TablesReadOverAndOverAreRefused) {
    // 100 zones of one nested container of 100 empty zones, all sharing their bytes:
    // 10100 zones from 1.7 kB. Nested deeper, such sharing multiplies without bound.
    std::vector<ZoneSpec> empties(100, ZoneSpec{0, 0, {}});
    empties[0] = {0, -1, constantBlock(0, 0.0f)};
    std::vector<ZoneSpec> outer(100, ZoneSpec{0, 0, {}});
    outer[0] = {0, -1, container(empties)};
    kortest::CapturedLog log;
    SGCompressor<3> compressor;
    int result = 1;
    decode3(compressor, container(outer), 4, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(log.Text(),
              "Codec stream refused: zone tables list more zones than their input holds\n");
}

TEST(Zones, ZoneTableThatCannotBeAllocatedLogsItsSize) {
    std::vector<ZoneSpec> zones(65535, ZoneSpec{0, 0, {}});
    zones[0] = {0, -1, constantBlock(0, 0.0f)};
    const std::vector<uint8_t> stream = container(zones);
    SGCompressor<3> compressor;
    kortest::CapturedLog log;
    int result = 1;
    {
        kortest::FailLargeAllocations fail(1 << 20);
        decode3(compressor, stream, 4, &result);
    }
    EXPECT_EQ(result, 0);
    // 65535 blocks of 40 bytes. Before the fix the size was always 0.
    EXPECT_EQ(log.Text(), "Can't allocate 3 MB for decompression");
}

TEST(Zones, TruncatedZoneTableIsRefused) {
    std::vector<uint8_t> stream = container({{0, -1, constantBlock(2, 1.0f)}});
    stream.resize(7);
    SGCompressor<3> compressor;
    int result = 1;
    decode3(compressor, stream, 4, &result);
    EXPECT_EQ(result, 0);
}

TEST(Zones, WithoutAThreadManagerZonesRunSequentiallyAfterTheWarnings) {
    const std::vector<uint8_t> stream =
        container({{0, -1, constantBlock(2, 1.0f)}, {2, -1, constantBlock(2, 2.0f)}});
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    EXPECT_EQ(decode3(compressor, stream, 4), (std::vector<float>{1, 1, 2, 2}));
    EXPECT_NE(warnings.Text().find("Please check the SGCompressor implementation.\n"),
              std::string::npos);
    EXPECT_EQ(compressor.jobCount, 1);
}

TEST_F(PooledZones, ParallelDecodeMatchesTheSequentialDecode) {
    const int32_t extents[3] = {40, 30, 64};
    const std::vector<float> data = grid(40 * 30 * 64, 5);
    SGCompressor<3> encoder;
    const uint64_t size = compressZones(encoder, data.data(), extents, 14, 0, 1, 4);
    ASSERT_GT(size, 0u);
    const std::vector<uint8_t> stream(encoder.OutputData(), encoder.OutputData() + size);
    ASSERT_EQ(stream[0], 0x02);

    SGCompressor<3> parallel;
    const std::vector<float> fromJobs = decode3(parallel, stream, data.size());
    EXPECT_EQ(parallel.jobCount, 2);
    EXPECT_NE(parallel.threadManager, nullptr);
    setThreadPoolThreads(pool, 0);
    SGCompressor<3> sequential;
    kortest::CapturedDebugOutput warnings;
    const std::vector<float> inline_ = decode3(sequential, stream, data.size());
    EXPECT_EQ(std::memcmp(fromJobs.data(), inline_.data(), data.size() * 4), 0);
    EXPECT_EQ(sequential.threadManager, nullptr);
}

TEST_F(PooledZones, SameJobCountReusesTheJobsAndAnotherRebuildsThem) {
    const std::vector<uint8_t> two =
        container({{0, -1, constantBlock(2, 1.0f)}, {2, -1, constantBlock(2, 2.0f)}});
    const std::vector<uint8_t> one = container({{0, -1, constantBlock(4, 3.0f)}});
    SGCompressor<3> compressor;
    decode3(compressor, two, 4);
    Job* const first = compressor.firstJob;
    EXPECT_EQ(decode3(compressor, two, 4), (std::vector<float>{1, 1, 2, 2}));
    EXPECT_EQ(compressor.firstJob, first);
    EXPECT_EQ(decode3(compressor, one, 4), std::vector<float>(4, 3.0f));
    EXPECT_EQ(compressor.jobCount, 1);
}

TEST_F(PooledZones, SlabEncoderMatchesSingleBlocksPerSlab) {
    const int32_t extents[3] = {17, 9, 23};
    const std::vector<float> data = grid(17 * 9 * 23, 9);
    SGCompressor<3> encoder;
    const uint64_t size = compressZones(encoder, data.data(), extents, 10, 0, 2, 5);
    ASSERT_GT(size, 0u);
    const std::vector<uint8_t> stream(encoder.OutputData(), encoder.OutputData() + size);
    SGCompressor<3> decoder;
    const std::vector<float> decoded = decode3(decoder, stream, data.size());
    // Each slab is an ordinary block: encode the third slab alone and compare its values.
    const int32_t firstPlane = 23 * 2 / 5;
    const int32_t slabExtents[3] = {17, 9, 23 * 3 / 5 - firstPlane};
    SGCompressor<3> single;
    const uint64_t slabSize =
        single.Compress(data.data() + 17 * 9 * firstPlane, slabExtents, 10, 0, 2);
    std::vector<float> slab(17 * 9 * static_cast<size_t>(slabExtents[2]));
    SGCompressor<3> slabDecoder;
    ASSERT_EQ(
        slabDecoder.Decompress(single.OutputData(), slab.data(), false, slabSize, slab.size()), 1);
    EXPECT_EQ(std::memcmp(slab.data(), decoded.data() + 17 * 9 * firstPlane, slab.size() * 4), 0);
}

TEST_F(PooledZones, FailingLyingAndNestedZonesInParallelToo) {
    const std::vector<uint8_t> stream = container({
        {0, -1, constantBlock(2, 1.0f)},
        {2, -1, {0x01, 0xFC, 0x07, 0, 0, 0, 0}}, // unknown method
        {3, -1, constantBlock(2, 2.0f)},         // overlaps the next zone at 3
        {4, 9999, constantBlock(1, 3.0f)},       // input offset past the stream
        {5, -1, constantBlock(2, 4.0f)},
        {3, -1, constantBlock(1, 5.0f)},
        {7, -1, container({{0, -1, constantBlock(1, 6.0f)}})},
    });
    SGCompressor<3> compressor;
    int result = 0;
    EXPECT_EQ(decode3(compressor, stream, 8, &result),
              (std::vector<float>{1, 1, 0, 0, 0, 4, 4, 6}));
    EXPECT_EQ(result, 1);
    EXPECT_NE(compressor.threadManager, nullptr);
}
