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
    int32_t inputOffset; // -1: right after the previous zone
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
        next += static_cast<int32_t>(zone.stream.size());
        body.insert(body.end(), zone.stream.begin(), zone.stream.end());
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

TEST(Zones, FailingZoneLeavesTheOthersDecoded) {
    const std::vector<uint8_t> stream = container({
        {0, -1, constantBlock(3, 1.0f)},
        {3, -1, {0x01, 0xFC, 0x07, 0, 0, 0, 0}},
        {6, -1, constantBlock(2, 3.0f)},
    });
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    int result = 0;
    EXPECT_EQ(decode3(compressor, stream, 8, &result),
              (std::vector<float>{1, 1, 1, -1, -1, -1, 3, 3}));
    EXPECT_EQ(result, 1);
}

TEST(Zones, OffsetsOutsideTheInputOrOutputCostOnlyTheirZone) {
    const std::vector<uint8_t> stream = container({
        {0, -1, constantBlock(2, 1.0f)},
        {9, 0, constantBlock(1, 2.0f)},    // output offset past the room
        {2, 5000, constantBlock(1, 3.0f)}, // input offset past the stream
        {-4, 0, constantBlock(1, 4.0f)},   // negative output offset
        {3, -1, constantBlock(1, 5.0f)},
    });
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    EXPECT_EQ(decode3(compressor, stream, 4), (std::vector<float>{1, 1, -1, 5}));
}

TEST(Zones, ZoneClaimingTheNextZonesRoomIsRefused) {
    // The first zone states 4 elements but the second starts at 2.
    const std::vector<uint8_t> stream = container({
        {0, -1, constantBlock(4, 1.0f)},
        {2, -1, constantBlock(2, 2.0f)},
    });
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    EXPECT_EQ(decode3(compressor, stream, 4), (std::vector<float>{-1, -1, 2, 2}));
}

TEST(Zones, NestedContainerIsRefusedInsideItsZone) {
    const std::vector<uint8_t> inner = container({{0, -1, constantBlock(2, 1.0f)}});
    const std::vector<uint8_t> stream =
        container({{0, -1, inner}, {2, -1, constantBlock(2, 2.0f)}});
    SGCompressor<3> compressor;
    kortest::CapturedDebugOutput warnings;
    EXPECT_EQ(decode3(compressor, stream, 4), (std::vector<float>{-1, -1, 2, 2}));
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

TEST_F(PooledZones, FailingAndLyingZonesCostOnlyThemselvesInParallelToo) {
    const std::vector<uint8_t> stream = container({
        {0, -1, constantBlock(2, 1.0f)},
        {2, -1, {0x01, 0xFC, 0x07, 0, 0, 0, 0}}, // unknown method
        {3, -1, constantBlock(3, 2.0f)},         // claims the next zone's element
        {4, 9999, constantBlock(1, 3.0f)},       // input offset past the stream
        {5, -1, constantBlock(2, 4.0f)},
    });
    SGCompressor<3> compressor;
    int result = 0;
    EXPECT_EQ(decode3(compressor, stream, 7, &result),
              (std::vector<float>{1, 1, -1, -1, -1, 4, 4}));
    EXPECT_EQ(result, 1);
    EXPECT_NE(compressor.threadManager, nullptr);
}
