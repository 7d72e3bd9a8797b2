// SPDX-License-Identifier: Apache-2.0
// Single blocks: the documented examples, and every refusal of a malformed stream, each
// checked for writes outside the output.
#include "StreamBuilder.h"
#include "codec/SGCompressor.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using kortest::hexBytes;
using kortest::StreamBuilder;

namespace {

constexpr float Guard = -12345.0f;

// Decodes into room floats followed by guard floats; checks the guard.
template <int N>
int decodeGuarded(const std::vector<uint8_t>& stream, uint64_t room, std::vector<float>& out) {
    std::vector<float> buffer(room + 64, Guard);
    SGCompressor<N> compressor;
    // An exact-size heap copy, so that sanitizers see any over-read.
    std::vector<uint8_t> input(stream);
    input.shrink_to_fit();
    const int result =
        compressor.Decompress(input.data(), buffer.data(), false, input.size(), room);
    for (uint64_t i = room; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], Guard) << "write past the output at " << i;
    }
    out.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(room));
    return result;
}

std::vector<uint8_t> fixedWidthItems(const std::vector<uint32_t>& extents, float scale,
                                     float offset, int32_t base, uint32_t passes, uint32_t width,
                                     int32_t bias, const std::vector<uint32_t>& symbols) {
    StreamBuilder out;
    kortest::writeCodedHeader(out, extents, scale, offset, base, passes);
    out.bits(width, 8).bits(static_cast<uint32_t>(bias), 32);
    for (uint32_t symbol : symbols) {
        out.bits(symbol, static_cast<int>(width));
    }
    out.bits(0, 32);
    return out.data;
}

} // namespace

TEST(Blocks, ConstantBlockWritesItsCountAndZeroesTheRestOfTheRoom) {
    std::vector<float> out;
    EXPECT_EQ(decodeGuarded<3>(hexBytes("01 FC 01 05 00 00 00 00 00 80 3F"), 5, out), 1);
    EXPECT_EQ(out, std::vector<float>(5, 1.0f));
    // Before the fix the two floats the block does not state kept what the room held.
    EXPECT_EQ(decodeGuarded<3>(hexBytes("01 FC 01 03 00 00 00 00 00 80 3F"), 5, out), 1);
    EXPECT_EQ(out, (std::vector<float>{1, 1, 1, 0, 0}));
    EXPECT_EQ(decodeGuarded<1>(hexBytes("01 FC 01 00 00 00 00 00 00 80 3F"), 0, out), 1);
}

TEST(Blocks, RawBlockCopiesNaNAndInfinityPatterns) {
    const std::vector<uint8_t> stream =
        hexBytes("01 FC 00 03 00 00 00  01 00 C0 7F  00 00 80 FF  78 56 34 12");
    std::vector<float> out;
    ASSERT_EQ(decodeGuarded<1>(stream, 3, out), 1);
    EXPECT_EQ(std::memcmp(out.data(), stream.data() + 7, 12), 0);
}

TEST(Blocks, TwoPassesOnOneAxisSumFromIndexTwoThenFromIndexOne) {
    // d = 1 2 3 4 5; pass 2 gives 1 2 5 9 14, pass 1 then 1 3 8 17 31.
    const std::vector<uint8_t> stream =
        fixedWidthItems({5}, 1.0f, 0.0f, 0, 2, 3, 0, {1, 2, 3, 4, 5});
    std::vector<float> out;
    ASSERT_EQ(decodeGuarded<1>(stream, 5, out), 1);
    EXPECT_EQ(out, (std::vector<float>{1, 3, 8, 17, 31}));
}

TEST(Blocks, TinyPositiveOffsetIsFlushedNegativeIsKept) {
    std::vector<float> out;
    ASSERT_EQ(decodeGuarded<1>(fixedWidthItems({2}, 4.0f, 5e-21f, 0, 0, 2, 0, {0, 3}), 2, out), 1);
    EXPECT_EQ(out, (std::vector<float>{0.0f, 0.75f}));
    ASSERT_EQ(decodeGuarded<1>(fixedWidthItems({2}, 4.0f, -5e-21f, 0, 0, 2, 0, {0, 3}), 2, out), 1);
    EXPECT_EQ(out, (std::vector<float>{-5e-21f, 0.75f + -5e-21f}));
}

TEST(Blocks, DequantisationRoundsTheProductBeforeTheSum) {
    // 3 * float(1 / 3) is 1 + 2^-25, which rounds to 1, so the sum is 0; a fused
    // multiply-add would keep the 2^-25.
    const float scale = 3.0f;
    const float offset = -1.0f;
    std::vector<float> out;
    ASSERT_EQ(decodeGuarded<1>(fixedWidthItems({1}, scale, offset, 0, 0, 2, 0, {3}), 1, out), 1);
    const float product = 3.0f * (1.0f / scale);
    EXPECT_EQ(out[0], product + offset);
    EXPECT_EQ(out[0], 0.0f);
}

TEST(Blocks, ZeroExtentIsAnEmptyBlockWhateverThePasses) {
    std::vector<float> out;
    EXPECT_EQ(decodeGuarded<3>(fixedWidthItems({4, 0, 3}, 1.0f, 0.0f, 0, 3, 2, 0, {}), 0, out), 1);
}

TEST(Blocks, MalformedStreamsAreRefusedWithoutStrayWrites) {
    struct Case {
        const char* label;
        std::vector<uint8_t> stream;
        uint64_t room;
    };
    StreamBuilder hugeTable;
    kortest::writeCodedHeader(hugeTable, {4, 4, 4}, 1, 0, 0, 0);
    hugeTable.bits(0, 8).bits(0xFFFFFFFFu, 32).bits(0, 32).bits(8, 6).bits(8, 6).bits(0, 64);
    StreamBuilder longerThanGrid;
    kortest::writeCodedHeader(longerThanGrid, {2, 1, 1}, 1, 0, 0, 0);
    kortest::writeTableHeader(longerThanGrid, 0, 2, 2, {{1, 0}, {1, 1}, {1, 2}});
    longerThanGrid.bits(0, 64);
    StreamBuilder moreThanSymbols;
    kortest::writeCodedHeader(moreThanSymbols, {8, 1, 1}, 1, 0, 0, 0);
    kortest::writeTableHeader(moreThanSymbols, 0, 2, 2, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 0}});
    moreThanSymbols.bits(0, 64);
    StreamBuilder zeroFrequencies;
    kortest::writeCodedHeader(zeroFrequencies, {4, 1, 1}, 1, 0, 0, 0);
    // 5, 0: the first entry overshoots half by more than it falls short, so it goes right
    // and leaves the left part empty.
    kortest::writeTableHeader(zeroFrequencies, 0, 3, 2, {{5, 0}, {0, 1}});
    zeroFrequencies.bits(0, 64);
    StreamBuilder wideFrequency;
    kortest::writeCodedHeader(wideFrequency, {4, 1, 1}, 1, 0, 0, 0);
    wideFrequency.bits(0, 8).bits(2, 32).bits(0, 32).bits(40, 6).bits(2, 6).bits(0, 128);
    StreamBuilder wideSymbol;
    kortest::writeCodedHeader(wideSymbol, {4, 1, 1}, 1, 0, 0, 0);
    wideSymbol.bits(0, 8).bits(2, 32).bits(0, 32).bits(4, 6).bits(33, 6).bits(0, 128);

    const std::vector<uint8_t> golden = fixedWidthItems({3, 1, 1}, 1, 0, 0, 0, 2, 1, {0, 1, 2});
    std::vector<uint8_t> truncated(golden.begin(), golden.end() - 5);
    std::vector<uint8_t> headerOnly(golden.begin(), golden.begin() + 20);

    const Case cases[] = {
        {"empty input", {}, 4},
        {"unknown magic", hexBytes("03 FC 01 01 00 00 00 00 00 80 3F"), 4},
        {"unknown method", hexBytes("01 FC 03 01 00 00 00"), 4},
        {"constant block beyond the room", hexBytes("01 FC 01 05 00 00 00 00 00 80 3F"), 4},
        {"constant block without its value", hexBytes("01 FC 01 01 00 00 00 00 00"), 4},
        {"raw block beyond the room", hexBytes("01 FC 00 02 00 00 00 01 02 03 04 05 06 07 08"), 1},
        {"raw block past its input", hexBytes("01 FC 00 03 00 00 00 01 02 03 04 05 06 07 08"), 4},
        {"grid beyond the room", fixedWidthItems({3, 2, 1}, 1, 0, 0, 0, 2, 1, {0, 1, 2}), 5},
        {"extent above 2^31", fixedWidthItems({0x80000000u, 1, 1}, 1, 0, 0, 0, 2, 1, {0}), 4},
        {"quantised header cut short", headerOnly, 3},
        {"items past the input", truncated, 3},
        {"symbol width 33", fixedWidthItems({3, 1, 1}, 1, 0, 0, 0, 33, 1, {}), 3},
        {"first item a run marker", fixedWidthItems({3, 1, 1}, 1, 0, 0, 0, 3, -2, {0, 2, 2}), 3},
        {"table of 2^32 - 1 entries", hugeTable.data, 64},
        {"table longer than the grid", longerThanGrid.data, 2},
        {"five entries of two-bit symbols", moreThanSymbols.data, 8},
        {"zero frequencies", zeroFrequencies.data, 4},
        {"frequency width 40", wideFrequency.data, 4},
        {"symbol width 33 in a table", wideSymbol.data, 4},
    };
    for (const Case& c : cases) {
        std::vector<float> out;
        EXPECT_EQ(decodeGuarded<3>(c.stream, c.room, out), 0) << c.label;
    }
}

TEST(Blocks, RunOvershootingTheGridLogsAndStillDecodes) {
    kortest::CapturedLog log;
    std::vector<float> out;
    // Literal 2, then a run of 6 into a grid of 4.
    ASSERT_EQ(decodeGuarded<1>(fixedWidthItems({4}, 1, 0, 0, 0, 4, -6, {8, 0}), 4, out), 1);
    EXPECT_EQ(out, std::vector<float>(4, 2.0f));
    EXPECT_EQ(log.Text(), "DecodeAndExpand - constant sequence longer than expected\n");
}

TEST(Blocks, FileSourceDecodesLikeMemory) {
    const std::vector<uint8_t> stream =
        fixedWidthItems({5}, 1.0f, 0.0f, 0, 2, 3, 0, {1, 2, 3, 4, 5});
    const kortest::TemporaryStream file;
    ASSERT_NE(file.Get(), nullptr);
    std::fwrite(stream.data(), 1, stream.size(), file.Get());
    std::rewind(file.Get());
    std::vector<float> out(5);
    SGCompressor<1> compressor;
    EXPECT_EQ(compressor.Decompress(file.Get(), out.data(), true, stream.size(), out.size()), 1);
    EXPECT_EQ(out, (std::vector<float>{1, 3, 8, 17, 31}));
}

TEST(Blocks, NameAndNullAppend) {
    SGCompressor<1> linear;
    SGCompressor<3> grid;
    EXPECT_STREQ(linear.GetName(), "SGCompressor");
    EXPECT_STREQ(grid.GetName(), "SGCompressor");
    grid.AppendOutput(nullptr, 16);
    EXPECT_EQ(grid.OutputBytes(), 0u);
}
