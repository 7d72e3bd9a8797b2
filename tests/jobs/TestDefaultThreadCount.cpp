// SPDX-License-Identifier: Apache-2.0
#include "jobs/DefaultThreadCount.h"

#include <gtest/gtest.h>

namespace {

using XUtils::computeDefaultThreadCount;
using XUtils::MaxDefaultThreadCount;

TEST(DefaultThreadCount, NumThreadsOfOneOrMoreWinsAndReadsLikeAtoi) {
    EXPECT_EQ(computeDefaultThreadCount("8", nullptr, 6, 4), 8);
    EXPECT_EQ(computeDefaultThreadCount("1", "0", 6, 4), 1);
    EXPECT_EQ(computeDefaultThreadCount(" 12", nullptr, 6, 4), 12);
    EXPECT_EQ(computeDefaultThreadCount("12abc", nullptr, 6, 4), 12);
}

TEST(DefaultThreadCount, NumThreadsBelowOneOrNotANumberFallsBackToTopology) {
    for (const char* value : {"0", "-3", "abc", "", "-99999999999999999999"}) {
        EXPECT_EQ(computeDefaultThreadCount(value, nullptr, 6, 4), 6) << value;
    }
}

TEST(DefaultThreadCount, HugeValuesAreBounded) {
    EXPECT_EQ(computeDefaultThreadCount("99999999999999999999", nullptr, 6, 4),
              MaxDefaultThreadCount);
    EXPECT_EQ(computeDefaultThreadCount("5000", nullptr, 6, 4), MaxDefaultThreadCount);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, nullptr, 100000, 4), MaxDefaultThreadCount);
}

TEST(DefaultThreadCount, AffinityReadingAsZeroSkipsTheNumaCount) {
    EXPECT_EQ(computeDefaultThreadCount(nullptr, nullptr, 6, 4), 6);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, "1", 6, 4), 6);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, "0", 6, 4), 4);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, "no", 6, 4), 4) << "not a number counts as 0";
    EXPECT_EQ(computeDefaultThreadCount(nullptr, "", 6, 4), 4);
}

TEST(DefaultThreadCount, UnknownTopologyFallsBackToProcessorCountAndNeverBelowOne) {
    EXPECT_EQ(computeDefaultThreadCount(nullptr, nullptr, 0, 4), 4);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, nullptr, 0, 0), 1);
}

TEST(DefaultThreadCount, LoadTimeValueIsPositiveAndStable) {
    const int count = XUtils::defaultThreadCount();
    EXPECT_GE(count, 1);
    EXPECT_LE(count, MaxDefaultThreadCount);
    EXPECT_EQ(XUtils::defaultThreadCount(), count);
}

} // namespace
