// SPDX-License-Identifier: Apache-2.0
// The table-driven, row-streaming decoder against the literal reference decoder, on
// seeded random streams and on the encoder's own output.
#include "RandomStreams.h"
#include "ReferenceDecoder.h"
#include "codec/SGCompressor.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

template <int N>
int decode(const std::vector<uint8_t>& stream, std::vector<float>& out) {
    SGCompressor<N> compressor;
    return compressor.Decompress(stream.data(), out.data(), false, stream.size(), out.size());
}

// The same stream read from a file, a byte at a time.
template <int N>
std::vector<float> decodeFromFile(const std::vector<uint8_t>& stream, uint64_t elements) {
    std::vector<float> out(elements, -7.0f);
    const kortest::TemporaryStream file;
    if (file.Get() == nullptr) {
        ADD_FAILURE() << "no temporary file";
        return out;
    }
    std::fwrite(stream.data(), 1, stream.size(), file.Get());
    std::rewind(file.Get());
    SGCompressor<N> compressor;
    EXPECT_EQ(compressor.Decompress(file.Get(), out.data(), true, stream.size(), out.size()), 1);
    return out;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 4) == 0;
}

template <int N>
void checkRandomStreams(uint32_t seed, int cases) {
    std::mt19937 rng(seed);
    int compared = 0;
    for (int c = 0; c < cases; ++c) {
        const kortest::RandomStreamShape shape = kortest::randomShape(rng, N);
        const std::vector<uint8_t> stream = kortest::randomCodedStream(rng, shape);
        const kortest::ReferenceResult expected = kortest::referenceDecode(stream, N);
        uint64_t elements = 1;
        for (uint32_t extent : shape.extents) {
            elements *= extent;
        }
        std::vector<float> out(elements, -7.0f);
        kortest::CapturedLog log;
        const int result = decode<N>(stream, out);
        if (!expected.recognised || expected.runAtStart || expected.overrun) {
            EXPECT_EQ(result, 0) << "case " << c;
            continue;
        }
        ASSERT_EQ(result, 1) << "case " << c << ": " << log.Text();
        ASSERT_TRUE(sameBits(out, expected.values)) << "case " << c;
        if (c % 8 == 0) {
            ASSERT_TRUE(sameBits(decodeFromFile<N>(stream, elements), expected.values)) << c;
        }
        ++compared;
    }
    // Most random streams must be valid, or the test compares nothing.
    EXPECT_GT(compared, cases / 3);
}

} // namespace

TEST(Differential, RandomThreeAxisStreamsMatchTheLiteralDecoder) {
    checkRandomStreams<3>(12345, 1500);
}

TEST(Differential, RandomOneAxisStreamsMatchTheLiteralDecoder) {
    checkRandomStreams<1>(777, 1500);
}

TEST(Differential, EncoderOutputMatchesTheLiteralDecoderWithinTheStep) {
    std::mt19937 rng(2024);
    for (int c = 0; c < 300; ++c) {
        const kortest::RandomStreamShape shape = kortest::randomShape(rng, 3);
        const int32_t extents[3] = {static_cast<int32_t>(shape.extents[0]),
                                    static_cast<int32_t>(shape.extents[1]),
                                    static_cast<int32_t>(shape.extents[2])};
        const uint64_t elements =
            uint64_t(extents[0]) * uint64_t(extents[1]) * uint64_t(extents[2]);
        const std::vector<float> data = kortest::randomGrid(rng, elements);
        const int bits = std::uniform_int_distribution<int>(1, 19)(rng);
        SGCompressor<3> encoder;
        const uint64_t size =
            encoder.Compress(data.data(), extents, bits, 0.0f, static_cast<int>(shape.passes));
        ASSERT_GT(size, 0u);
        const std::vector<uint8_t> stream(encoder.OutputData(), encoder.OutputData() + size);
        const kortest::ReferenceResult expected = kortest::referenceDecode(stream, 3);
        ASSERT_TRUE(expected.recognised && !expected.overrun && !expected.runAtStart);
        std::vector<float> out(elements);
        ASSERT_EQ(decode<3>(stream, out), 1);
        ASSERT_TRUE(sameBits(out, expected.values)) << "case " << c;
        float low = data[0];
        float high = data[0];
        for (float v : data) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
        // Half a quantisation step, plus float rounding of the reconstruction.
        const float tolerance = (high - low) / static_cast<float>(1 << bits) * 0.5f +
                                std::max(std::fabs(low), std::fabs(high)) * 4e-7f + 1e-30f;
        for (uint64_t e = 0; e < elements; ++e) {
            ASSERT_NEAR(out[e], data[e], tolerance * 1.01f) << "case " << c << " element " << e;
        }
    }
}

TEST(Differential, SmokeLikeGridWithEmptySpaceMatchesTheLiteralDecoder) {
    // Whole lines of zeros take the decoder's empty-space path; the plume the general one.
    const int32_t extents[3] = {48, 40, 36};
    std::vector<float> data(48 * 40 * 36, 0.0f);
    for (int k = 0; k < 36; ++k) {
        for (int j = 0; j < 40; ++j) {
            for (int i = 0; i < 48; ++i) {
                const float dx = static_cast<float>(i - 24) / 12.0f;
                const float dy = static_cast<float>(j - 20) / 10.0f;
                const float dz = static_cast<float>(k - 18) / 9.0f;
                const float d = dx * dx + dy * dy + dz * dz;
                data[static_cast<size_t>((k * 40 + j) * 48 + i)] =
                    d < 1.0f ? (1.0f - d) * std::sin(static_cast<float>(i + 2 * j + 3 * k)) : 0.0f;
            }
        }
    }
    for (int passes = 0; passes < 3; ++passes) {
        SGCompressor<3> encoder;
        const uint64_t size = encoder.Compress(data.data(), extents, 16, 0.0f, passes);
        const std::vector<uint8_t> stream(encoder.OutputData(), encoder.OutputData() + size);
        std::vector<float> out(data.size());
        ASSERT_EQ(decode<3>(stream, out), 1);
        EXPECT_TRUE(sameBits(out, kortest::referenceDecode(stream, 3).values)) << passes;
    }
}
