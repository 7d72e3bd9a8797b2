// SPDX-License-Identifier: Apache-2.0
#include "support/NewArray.h"
#include "tests/common/CapturedOutput.h"

#include <gtest/gtest.h>

namespace {

TEST(NewArray, AllocatesAndReportsImpossibleCounts) {
    kortest::CapturedLog log;
    float* values = nullptr;
    ASSERT_TRUE(newArray(values, 1000));
    delete[] values;
    // 123456789 * 2^37 elements overflow the address space; the count prints at float
    // precision.
    EXPECT_FALSE(newArray(values, uint64_t(123456789) << 37));
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(log.Text(), "[ERROR] newArray failed to allocate 16967772291490381824\n");
}

TEST(NewArray, ZeroedArrayIsZero) {
    int* values = nullptr;
    ASSERT_TRUE(newZeroedArray(values, 4096));
    for (int i = 0; i < 4096; ++i) {
        ASSERT_EQ(values[i], 0);
    }
    std::free(values);
}

TEST(NewArray, ZeroedArrayRetriesAndReportsEachStep) {
    kortest::CapturedLog log;
    int* values = nullptr;
    // 2^40 four-byte elements: more than this machine can give.
    EXPECT_FALSE(newZeroedArray(values, uint64_t(1) << 40));
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(log.Text(), "[ERROR] newZeroedArray failed to allocate ENOMEM 1099511627776\n"
                          "Retry newZeroedArray with newArray and memset\n"
                          "Retry newZeroedArray with newArray and memset result = 0\n");
}

TEST(NewArray, CountsPrintThroughFloatPrecision) {
    kortest::CapturedLog log;
    logMessage("%.0f\n", kor_detail::countForMessage(123456789));
    EXPECT_EQ(log.Text(), "123456792\n");
}

} // namespace
