// SPDX-License-Identifier: Apache-2.0
#include "jobs/DefaultThreadCount.h"

#include <gtest/gtest.h>

namespace {

using XUtils::computeDefaultThreadCount;
using XUtils::MaxThreadCount;

TEST(DefaultThreadCount, NumThreadsWinsWhenItReadsAsOneOrMoreAndIsBounded) {
    EXPECT_EQ(computeDefaultThreadCount("8", "0", 6, 4), 8);
    EXPECT_EQ(computeDefaultThreadCount(" 12abc", nullptr, 6, 4), 12) << "read like atoi";
    for (const char* below : {"0", "-3", "abc", "", "-99999999999999999999"}) {
        EXPECT_EQ(computeDefaultThreadCount(below, nullptr, 6, 4), 6) << below;
    }
    EXPECT_EQ(computeDefaultThreadCount("99999999999999999999", nullptr, 6, 4), MaxThreadCount);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, nullptr, 100000, 4), MaxThreadCount);
}

TEST(DefaultThreadCount, AffinityReadingAsZeroOrUnknownTopologyFallsBackToProcessors) {
    EXPECT_EQ(computeDefaultThreadCount(nullptr, "1", 6, 4), 6);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, "0", 6, 4), 4);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, "no", 6, 4), 4) << "not a number counts as 0";
    EXPECT_EQ(computeDefaultThreadCount(nullptr, nullptr, 0, 4), 4);
    EXPECT_EQ(computeDefaultThreadCount(nullptr, nullptr, 0, 0), 1);
}

} // namespace
