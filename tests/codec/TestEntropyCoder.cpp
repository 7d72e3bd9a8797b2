// SPDX-License-Identifier: Apache-2.0
#include "ReferenceDecoder.h"
#include "StreamBuilder.h"
#include "codec/EntropyCoder.h"
#include "tests/common/CapturedOutput.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using kortest::hexBytes;
using kortest::StreamBuilder;
using kortest::TableEntry;

namespace {

std::vector<int32_t> expand(const std::vector<uint8_t>& stream, uint64_t count, int32_t base,
                            bool* ok = nullptr) {
    EntropyCoder coder;
    std::vector<int32_t> out(count, 0x7EEEEEEE);
    bool decoded = coder.InitDecoder(stream.data(), false, stream.size()) &&
                   coder.DecodeAndExpand(out.data(), count, base);
    if (ok != nullptr) {
        *ok = decoded;
    }
    return out;
}

// Codes of a table as the literal decoder derives them, in stream bit order.
std::vector<std::string> codesFor(const std::vector<uint32_t>& frequencies) {
    StreamBuilder out;
    std::vector<TableEntry> entries;
    for (size_t i = 0; i < frequencies.size(); ++i) {
        entries.push_back({frequencies[i], static_cast<uint32_t>(i)});
    }
    kortest::writeTableHeader(out, 0, 8, 8, entries);
    kortest::ReferenceCoder reference(out.data, 0);
    EXPECT_TRUE(reference.Init());
    return reference.Codes();
}

// Items encoded by hand with the given codes ("10" = bit 1 then bit 0).
std::vector<uint8_t> tableStream(const std::vector<uint32_t>& frequencies,
                                 const std::vector<std::string>& codes,
                                 const std::vector<int>& entryOrder) {
    StreamBuilder out;
    std::vector<TableEntry> entries;
    for (size_t i = 0; i < frequencies.size(); ++i) {
        entries.push_back({frequencies[i], static_cast<uint32_t>(10 + i)});
    }
    kortest::writeTableHeader(out, 0, 8, 8, entries);
    for (int entry : entryOrder) {
        for (char bit : codes[static_cast<size_t>(entry)]) {
            out.bits(bit == '1' ? 1 : 0, 1);
        }
    }
    out.bits(0, 32);
    return out.data;
}

} // namespace

TEST(EntropyCoder, FixedWidthGoldenBytesDecodeToOneTwoThree) {
    const std::vector<uint8_t> stream = hexBytes("02 01 00 00 00 24 00 00");
    EXPECT_EQ(expand(stream, 3, 0), (std::vector<int32_t>{1, 2, 3}));
    EntropyCoder coder;
    ASSERT_TRUE(coder.InitDecoder(stream.data(), false, stream.size()));
    EXPECT_EQ(coder.DecodeValue(), 1u);
    EXPECT_EQ(coder.DecodeValue(), 2u);
    EXPECT_EQ(coder.DecodeValue(), 3u);
    EXPECT_FALSE(coder.HasOverrun());
}

TEST(EntropyCoder, EncodesOneTwoThreeAsTheGoldenBytes) {
    EntropyCoder coder;
    const int32_t items[] = {1, 2, 3};
    ASSERT_EQ(coder.Encode(items, 3), 8u);
    EXPECT_EQ(std::vector<uint8_t>(coder.OutputData(), coder.OutputData() + 8),
              hexBytes("02 01 00 00 00 24 00 00"));
}

TEST(EntropyCoder, ShannonFanoCodesFollowTheSplitRule) {
    // 5,3,1,1: plain halving. 2,5,1: the overshoot (3) exceeds the shortfall (2), so the
    // boundary entry goes right. 1,4,1: a tie at the root puts the middle entry left.
    EXPECT_EQ(codesFor({5, 3, 1, 1}), (std::vector<std::string>{"0", "10", "110", "111"}));
    EXPECT_EQ(codesFor({2, 5, 1}), (std::vector<std::string>{"0", "10", "11"}));
    EXPECT_EQ(codesFor({1, 4, 1}), (std::vector<std::string>{"00", "01", "1"}));
    for (const auto& frequencies :
         std::vector<std::vector<uint32_t>>{{5, 3, 1, 1}, {2, 5, 1}, {1, 4, 1}}) {
        const std::vector<std::string> codes = codesFor(frequencies);
        const std::vector<int> order = {0, 1, 2, 2, 1, 0, static_cast<int>(frequencies.size()) - 1};
        std::vector<int32_t> expected;
        for (int entry : order) {
            expected.push_back(10 + entry);
        }
        EXPECT_EQ(expand(tableStream(frequencies, codes, order), order.size(), 0), expected);
    }
}

TEST(EntropyCoder, OneEntryTableSpendsNoBitsPerItem) {
    StreamBuilder out;
    kortest::writeTableHeader(out, 5, 4, 3, {{9, 2}});
    const std::vector<int32_t> items = expand(out.data, 1000, 100);
    EXPECT_EQ(items, std::vector<int32_t>(1000, 107));
}

TEST(EntropyCoder, FixedWidthNegativeBiasMakesRunMarkers) {
    // W = 3, bias -2: symbol 2 is the literal 0, 1 a run of one, 0 a run of two.
    StreamBuilder out;
    out.bits(3, 8).bits(static_cast<uint32_t>(-2), 32);
    for (uint32_t symbol : {2u, 1u, 6u, 0u, 3u}) {
        out.bits(symbol, 3);
    }
    out.bits(0, 32);
    EXPECT_EQ(expand(out.data, 6, 10), (std::vector<int32_t>{10, 10, 14, 14, 14, 11}));
}

TEST(EntropyCoder, RunPastTheEndStopsAtTheCountAndLogs) {
    StreamBuilder out;
    out.bits(3, 8).bits(static_cast<uint32_t>(-4), 32).bits(5, 3).bits(0, 3).bits(0, 32);
    kortest::CapturedLog log;
    bool ok = false;
    EXPECT_EQ(expand(out.data, 3, 0, &ok), (std::vector<int32_t>{1, 1, 1}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(log.Text(), "DecodeAndExpand - constant sequence longer than expected\n");
}

TEST(EntropyCoder, StreamOpeningWithARunMarkerIsRefused) {
    StreamBuilder out;
    out.bits(3, 8).bits(static_cast<uint32_t>(-4), 32).bits(0, 3).bits(5, 3).bits(0, 32);
    bool ok = true;
    expand(out.data, 3, 0, &ok);
    EXPECT_FALSE(ok);
}

TEST(EntropyCoder, DecodeValueContinuesAcrossCallsInTableForm) {
    const std::vector<uint32_t> frequencies = {5, 3, 1, 1};
    const std::vector<uint8_t> stream =
        tableStream(frequencies, codesFor(frequencies), {3, 0, 1, 2, 0});
    EntropyCoder coder;
    ASSERT_TRUE(coder.InitDecoder(stream.data(), false, stream.size()));
    for (uint32_t expected : {13u, 10u, 11u, 12u, 10u}) {
        EXPECT_EQ(coder.DecodeValue(), expected);
    }
}

TEST(EntropyCoder, RunLengthPackFoldsRunsFromTheMinimum) {
    struct Case {
        std::vector<int32_t> in;
        std::vector<int32_t> out;
    };
    const Case cases[] = {
        {{5, 5, 5, 5, 5, 7}, {5, -4, 7}},
        {{3, 3, 3, 3}, {3, 3, 3, 3}},
        {{3, 3, 3, 3, 3}, {3, -4}},
        {{3, 3, 3, 3, 3, 3, 3, 1, 1}, {3, -6, 1, 1}},
        {{1, 2, 2, 2, 2, 2, 2, 2, 2}, {1, 2, -7}},
        {{4}, {4}},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> work = c.in;
        const uint64_t n = EntropyCoder::RunLengthPack(work.data(), work.data(), work.size(), 4);
        work.resize(n);
        EXPECT_EQ(work, c.out);
    }
    // A minimum run of 1 folds every repeat. Before the fix the marker went over the first
    // item written: 5 5 7 came out as -1 7.
    std::vector<int32_t> work = {5, 5, 7};
    work.resize(EntropyCoder::RunLengthPack(work.data(), work.data(), work.size(), 1));
    EXPECT_EQ(work, (std::vector<int32_t>{5, -1, 7}));
}
