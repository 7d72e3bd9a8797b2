// SPDX-License-Identifier: Apache-2.0
#include "ReferenceDecoder.h"
#include "codec/EntropyCoder.h"
#include "codec/SGCompressor.h"
#include "tests/common/CapturedOutput.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

std::vector<uint8_t> compress1(const std::vector<float>& data, int bits, float step,
                               int passes = 0) {
    SGCompressor<1> compressor;
    const int32_t count = static_cast<int32_t>(data.size());
    const uint64_t size = compressor.Compress(data.data(), &count, bits, step, passes);
    return std::vector<uint8_t>(compressor.OutputData(), compressor.OutputData() + size);
}

float scaleOf(const std::vector<uint8_t>& stream) {
    float scale;
    std::memcpy(&scale, stream.data() + 7, 4); // magic, method, one extent
    return scale;
}

std::vector<float> decode1(const std::vector<uint8_t>& stream, uint64_t count) {
    std::vector<float> out(count);
    SGCompressor<1> compressor;
    EXPECT_EQ(compressor.Decompress(stream.data(), out.data(), false, stream.size(), count), 1);
    return out;
}

} // namespace

TEST(Compress, TwentyBitsWritesARawBlock) {
    const std::vector<float> data = {1.5f, -2.0f, 3.25f};
    const std::vector<uint8_t> stream = compress1(data, 20, 0);
    ASSERT_EQ(stream.size(), 3 * 4 + 7u);
    EXPECT_EQ(stream[2], 0);
    EXPECT_EQ(std::memcmp(stream.data() + 7, data.data(), 12), 0);
}

TEST(Compress, EqualValuesWriteAnElevenByteConstantBlock) {
    EXPECT_EQ(compress1(std::vector<float>(50, 2.5f), 8, 0).size(), 11u);
    const std::vector<uint8_t> within = compress1({1.0f, 1.0f + 1e-21f, 1.0f}, 8, 0);
    EXPECT_EQ(within.size(), 11u);
}

TEST(Compress, NonFiniteValueWritesConstantZeros) {
    for (float bad : {std::numeric_limits<float>::infinity(), std::nanf("")}) {
        const std::vector<uint8_t> stream = compress1({1.0f, bad, 3.0f}, 8, 0);
        ASSERT_EQ(stream.size(), 11u);
        EXPECT_EQ(decode1(stream, 3), std::vector<float>(3, 0.0f));
    }
}

TEST(Compress, EightBitsOverTheUnitRangeScaleBy256) {
    const std::vector<uint8_t> stream = compress1({0.0f, 0.5f, 1.0f}, 8, 0);
    EXPECT_EQ(scaleOf(stream), 256.0f);
    const kortest::ReferenceResult decoded = kortest::referenceDecode(stream, 1);
    EXPECT_EQ(decoded.integers, (std::vector<int32_t>{0, 128, 256}));
}

TEST(Compress, StepSetsTheScaleWhenBitsAreZero) {
    const std::vector<uint8_t> stream = compress1({0.0f, 0.5f, 1.0f}, 0, 0.01f);
    EXPECT_EQ(scaleOf(stream), 1.0f / 0.01f);
}

TEST(Compress, RangeOverflowingToInfinityIsStoredRaw) {
    // Before the fix the scale was 0 and every value decoded to NaN.
    const std::vector<float> data = {-3e38f, 0.0f, 3e38f};
    const std::vector<uint8_t> stream = compress1(data, 16, 0);
    EXPECT_EQ(stream[2], 0);
    EXPECT_EQ(decode1(stream, 3), data);
}

TEST(Compress, QuantisedSpanBeyond32BitsIsStoredRaw) {
    // Before the fix the quantised values wrapped into run markers.
    const std::vector<float> data = {0.0f, 1.0f, 5.0f};
    const std::vector<uint8_t> stream = compress1(data, 0, 1e-9f);
    EXPECT_EQ(stream[2], 0);
    EXPECT_EQ(decode1(stream, 3), data);
}

TEST(Compress, DeepPassesThatWouldWrapAreStoredRaw) {
    std::vector<float> data;
    for (int i = 0; i < 64; ++i) {
        data.push_back(i % 2 == 0 ? 0.0f : 1.0f);
    }
    // Alternating values double with every differencing pass; 40 passes exceed 2^31.
    const std::vector<uint8_t> stream = compress1(data, 19, 0, 40);
    EXPECT_EQ(stream[2], 0);
    EXPECT_EQ(decode1(stream, data.size()), data);
}

TEST(Compress, PassesOutsideOneByteAreRefused) {
    EXPECT_TRUE(compress1({0.0f, 1.0f}, 8, 0, 256).empty());
    EXPECT_TRUE(compress1({0.0f, 1.0f}, 8, 0, -1).empty());
}

TEST(Compress, EncodeOfItemsSpanningAll32BitValuesUsesFullWidthSymbols) {
    // Before the fix W wrapped to 0 and the counts table overflowed.
    const int32_t items[] = {INT32_MIN, 0, INT32_MAX, -1};
    EntropyCoder encoder;
    ASSERT_GT(encoder.Encode(items, 4), 0u);
    EXPECT_EQ(encoder.OutputData()[0], 32);
    EntropyCoder decoder;
    ASSERT_TRUE(decoder.InitDecoder(encoder.OutputData(), false, encoder.OutputBytes()));
    for (int32_t item : items) {
        EXPECT_EQ(static_cast<int32_t>(decoder.DecodeValue()), item);
    }
}

TEST(Compress, EncodeOfEqualItemsCostsOnlyTheTableHeader) {
    std::vector<int32_t> items(5000, 9);
    EntropyCoder encoder;
    const uint64_t size = encoder.Encode(items.data(), items.size());
    // 84 header bits and one entry of 1 + 13 + 1 bits: four words, whatever the count.
    EXPECT_EQ(size, 16u);
    std::vector<int32_t> out(items.size());
    EntropyCoder decoder;
    ASSERT_TRUE(decoder.InitDecoder(encoder.OutputData(), false, size));
    ASSERT_TRUE(decoder.DecodeAndExpand(out.data(), out.size(), 0));
    EXPECT_EQ(out, items);
}

TEST(Compress, TableLargerThanFixedWidthFallsBackAndLogs) {
    kortest::CapturedLog log;
    const int32_t items[] = {0, 1, 2, 3, 4, 5, 6, 7};
    EntropyCoder encoder;
    // Fixed width: 8 + 32 header bits and 8 symbols of 4 bits, three words.
    ASSERT_EQ(encoder.Encode(items, 8), 12u);
    EXPECT_EQ(encoder.OutputData()[0], 4);
    EXPECT_EQ(log.Text(), "Encode directsz<compsz! directsz=4, compsz=15\n");
}

TEST(Compress, WideRangesStillWeighTheTableForm) {
    // Mostly small items, one run marker of a long run and one outlier: the range spans
    // 2^28, so before the fix the table form was never tried and every item took 29 bits.
    std::vector<int32_t> items(100000);
    for (size_t i = 0; i < items.size(); ++i) {
        items[i] = static_cast<int32_t>(i % 7 == 0 ? i % 5 : 0);
    }
    items[500] = -1000000;
    items[900] = 1 << 28;
    EntropyCoder encoder;
    const uint64_t size = encoder.Encode(items.data(), items.size());
    ASSERT_GT(size, 0u);
    EXPECT_EQ(encoder.OutputData()[0], 0) << "table form";
    EXPECT_LT(size, items.size() * 29 / 8 / 10);
    EntropyCoder decoder;
    ASSERT_TRUE(decoder.InitDecoder(encoder.OutputData(), false, size));
    for (int32_t item : items) {
        ASSERT_EQ(static_cast<int32_t>(decoder.DecodeValue()), item);
    }
}

TEST(Compress, RoundTripsOneAxisAtEveryResolution) {
    std::vector<float> data;
    for (int i = 0; i < 3000; ++i) {
        data.push_back(i % 300 < 100 ? 0.0f : std::cos(static_cast<float>(i) * 0.003f) * 40.0f);
    }
    for (int bits = 1; bits < 20; bits += 3) {
        for (int passes = 0; passes < 4; ++passes) {
            const std::vector<uint8_t> stream = compress1(data, bits, 0, passes);
            const std::vector<float> decoded = decode1(stream, data.size());
            const float tolerance = 80.0f / static_cast<float>(1 << bits) * 0.51f + 1e-4f;
            for (size_t e = 0; e < data.size(); ++e) {
                ASSERT_NEAR(decoded[e], data[e], tolerance) << bits << " " << passes;
            }
        }
    }
}

TEST(Compress, CodesLongerThan32BitsFallBackToFixedWidth) {
    // Fibonacci counts make the Shannon-Fano tree a chain: 34 symbols give codes of up to
    // 33 bits, which val2code cannot hold. Before the fix they were written truncated.
    std::vector<int32_t> items;
    uint64_t previous = 1;
    uint64_t current = 1;
    for (int32_t symbol = 0; symbol < 34; ++symbol) {
        items.insert(items.end(), current, symbol);
        const uint64_t next = previous + current;
        previous = current;
        current = next;
    }
    EntropyCoder encoder;
    ASSERT_GT(encoder.Encode(items.data(), items.size()), 0u);
    EXPECT_EQ(encoder.OutputData()[0], 6); // fixed width: 34 symbols need 6 bits
    EntropyCoder decoder;
    ASSERT_TRUE(decoder.InitDecoder(encoder.OutputData(), false, encoder.OutputBytes()));
    std::vector<int32_t> decoded(items.size());
    ASSERT_TRUE(decoder.DecodeAndExpand(decoded.data(), decoded.size(), 0));
    EXPECT_TRUE(decoded == items);
}
