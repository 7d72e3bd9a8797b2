// SPDX-License-Identifier: Apache-2.0
#include "support/iArray.h"
#include "tests/common/CapturedOutput.h"

#include <gtest/gtest.h>

namespace {

// Counts live instances, so double destruction or leaks show up.
struct Tracked {
    static int live;
    int value = 0;
    Tracked() { ++live; }
    Tracked(const Tracked& other) : value(other.value) { ++live; }
    Tracked& operator=(const Tracked&) = default;
    ~Tracked() { --live; }
};
int Tracked::live = 0;

TEST(iArray, GrowthFollowsTheDivisorWithAtLeastEightSpareSlots) {
    iArray<int> array;
    ASSERT_TRUE(array.Append(1));
    EXPECT_EQ(array.Capacity(), 9);
    for (int i = 2; i <= 10; ++i) {
        ASSERT_TRUE(array.Append(i));
    }
    EXPECT_EQ(array.Capacity(), 18);
    ASSERT_TRUE(array.SetSize(100));
    EXPECT_EQ(array.Capacity(), 125);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(array[i], i + 1) << "elements survive relocation";
    }
}

TEST(iArray, ExactSizingAndShrinkKeepCapacity) {
    iArray<int> array;
    ASSERT_TRUE(array.SetSize(37, nullptr, true));
    EXPECT_EQ(array.Capacity(), 37);
    ASSERT_TRUE(array.SetSize(37));
    EXPECT_EQ(array.Capacity(), 37);
    ASSERT_TRUE(array.SetSize(3));
    EXPECT_EQ(array.Count(), 3);
    EXPECT_EQ(array.Capacity(), 37);
}

TEST(iArray, NegativeSizeIsRefusedAndLeavesTheArrayAlone) {
    kortest::CapturedLog log;
    iArray<int> array;
    const int fill = 7;
    ASSERT_TRUE(array.SetSize(4, &fill));
    EXPECT_FALSE(array.SetSize(-1));
    EXPECT_EQ(log.Text(), "[ERROR] iArray SetSize() overflow!\n");
    EXPECT_EQ(array.Count(), 4);
    EXPECT_EQ(array[3], 7);
}

TEST(iArray, GrowthBeyondTheSizeTypeFailsEmpty) {
    iArray<int> array;
    ASSERT_TRUE(array.SetSize(5));
    // Headroom would push the capacity past int32: refused as exhausted memory.
    EXPECT_FALSE(array.SetSize(2000000000));
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(array.Capacity(), 0);
    EXPECT_EQ(array.Data(), nullptr);
}

TEST(iArray, FillCopiesIntoEveryNewElementEvenFromItsOwnStorage) {
    iArray<int> array;
    const int fill = 5;
    ASSERT_TRUE(array.SetSize(9, &fill)); // capacity 9 exactly full
    array[0] = 42;
    ASSERT_TRUE(array.SetSize(50, &array[0])); // reallocates while reading the fill
    for (int i = 9; i < 50; ++i) {
        ASSERT_EQ(array[i], 42);
    }
    ASSERT_TRUE(array.Append(array[0]));
    EXPECT_EQ(array[50], 42);
}

TEST(iArray, FindReturnsTheLowestIndexOrMinusOne) {
    iArray<int> array;
    EXPECT_EQ(array.Find(3), -1);
    for (int v : {5, 3, 9, 3}) {
        array.Append(v);
    }
    EXPECT_EQ(array.Find(3), 1);
    EXPECT_EQ(array.Find(4), -1);
}

TEST(iArray, RemoveWithAndWithoutOrder) {
    iArray<char> unordered;
    iArray<char> ordered;
    for (char c : {'a', 'b', 'c', 'd', 'e'}) {
        unordered.Append(c);
        ordered.Append(c);
    }
    ASSERT_TRUE(unordered.Remove(1, 1, false, true));
    EXPECT_EQ(std::string(unordered.Data(), 4), "aecd");
    ASSERT_TRUE(ordered.Remove(1, 2, true, false));
    EXPECT_EQ(std::string(ordered.Data(), 3), "ade");
    EXPECT_FALSE(ordered.Remove(2, 5, true, true)) << "range beyond the count";
    EXPECT_FALSE(ordered.Remove(-1, 1, true, true));
    EXPECT_EQ(ordered.Count(), 3);
}

TEST(iArray, ElementsAreConstructedAndDestroyedExactlyOnce) {
    Tracked::live = 0;
    {
        iArray<Tracked> array;
        Tracked fill;
        fill.value = 3;
        ASSERT_TRUE(array.SetSize(20, &fill));
        EXPECT_EQ(Tracked::live, 21);
        ASSERT_TRUE(array.Remove(2, 3, false, true));
        ASSERT_TRUE(array.Remove(0, 1, true, false));
        EXPECT_EQ(Tracked::live, 17);
        ASSERT_TRUE(array.SetSize(5));
        EXPECT_EQ(Tracked::live, 6);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(iArray, SixtyFourBitSizeTypes) {
    iArray<char, int64_t> bytes;
    ASSERT_TRUE(bytes.SetSize(int64_t(1) << 20));
    EXPECT_EQ(bytes.Capacity(), (int64_t(1) << 20) + (int64_t(1) << 18));
    iArray<float, uint64_t> unsignedSized;
    ASSERT_TRUE(unsignedSized.Append(1.5f));
    EXPECT_EQ(unsignedSized.Capacity(), 9u);
}

} // namespace
