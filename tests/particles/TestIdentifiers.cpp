// SPDX-License-Identifier: Apache-2.0
// Identifier lookup: ascending identifiers searched in place, unordered ones through the
// stable sort of the identifier order, groups without usable identifiers, and
// concurrent lookups on one group.
#include "particles/PGroup.h"
#include "tests/particles/ParticleBytes.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <thread>

using namespace kortest;

namespace {

void giveIdentifiers(FluxaFrameData& frame, const std::vector<int64_t>& ids) {
    giveGroups(frame, {int32_t(ids.size())});
    storeChannel(frame.groups[0], 10, 1, zlibBytes(int64Bytes(ids)));
}

} // namespace

TEST(Identifiers, AscendingIdentifiersAreSearchedInPlace) {
    FluxaFrameData frame;
    giveIdentifiers(frame, {10, 20, 30});
    FluxaFrameData::PGroup& group = frame.groups[0];
    EXPECT_EQ(group.findParticleById(20), 1);
    EXPECT_EQ(group.findParticleById(25), -1);
    EXPECT_EQ(group.findParticleById(10), 0);
    EXPECT_EQ(group.findParticleById(30), 2);
    EXPECT_EQ(group.findParticleById(5), -1);
    EXPECT_EQ(group.findParticleById(31), -1);
    EXPECT_EQ(group.idOrder.Count(), 0);
}

TEST(Identifiers, UnorderedIdentifiersAreSortedOnce) {
    FluxaFrameData frame;
    giveIdentifiers(frame, {30, 10, 20});
    FluxaFrameData::PGroup& group = frame.groups[0];
    EXPECT_EQ(group.findParticleById(30), 0);
    ASSERT_EQ(group.idOrder.Count(), 3);
    EXPECT_EQ(group.idOrder[0], 1);
    EXPECT_EQ(group.idOrder[1], 2);
    EXPECT_EQ(group.idOrder[2], 0);
    EXPECT_EQ(group.findParticleById(10), 1);
    EXPECT_EQ(group.findParticleById(15), -1);
}

// A negative first identifier counts as unordered, and the order still finds it.
TEST(Identifiers, NegativeIdentifiersAreFound) {
    FluxaFrameData frame;
    giveIdentifiers(frame, {-5, 1, 2});
    EXPECT_EQ(frame.groups[0].findParticleById(-5), 0);
    EXPECT_EQ(frame.groups[0].findParticleById(2), 2);
}

TEST(Identifiers, SortOrdersEveryLengthWithManyEqualIdentifiers) {
    std::mt19937 random(7);
    for (int32_t n = 0; n <= 70; ++n) {
        std::vector<int64_t> ids(size_t(n), 0);
        for (int64_t& id : ids) {
            id = int64_t(random() % 9) - 4; // many equal identifiers
        }
        FluxaFrameData::PGroup::IDORD order;
        ASSERT_TRUE(order.SetSize(n));
        std::iota(order.Data(), order.Data() + n, 0);
        order.ids = ids.data();
        ASSERT_TRUE(order.sort());
        std::vector<int32_t> sorted(order.Data(), order.Data() + n);
        std::sort(sorted.begin(), sorted.end());
        for (int32_t i = 0; i < n; ++i) {
            ASSERT_EQ(sorted[size_t(i)], i) << "not a permutation at length " << n;
        }
        EXPECT_TRUE(
            std::is_sorted(order.Data(), order.Data() + n,
                           [&](int32_t a, int32_t b) { return ids[size_t(a)] < ids[size_t(b)]; }))
            << "length " << n;
    }
}

TEST(Identifiers, GroupsWithoutUsableIdentifiersFindNothing) {
    FluxaFrameData frame;
    giveGroups(frame, {0, 3, 3, 3});
    storeChannel(frame.groups[0], 10, 0, "");
    storeChannel(frame.groups[1], 10, 1, "not zlib");
    storeChannel(frame.groups[2], 10, 0, int64Bytes({1, 2})); // one identifier short
    EXPECT_EQ(frame.groups[0].findParticleById(0), -1) << "count 0";
    EXPECT_EQ(frame.groups[1].findParticleById(0), -1) << "undecodable";
    EXPECT_EQ(frame.groups[2].findParticleById(1), -1) << "too few identifiers";
    EXPECT_EQ(frame.groups[3].findParticleById(0), -1) << "no identifier channel";
}

TEST(Identifiers, ConcurrentLookupsOnOneGroup) {
    for (const bool ascending : {true, false}) {
        const int count = 2000;
        std::vector<int64_t> ids(count);
        for (int i = 0; i < count; ++i) {
            ids[size_t(i)] = ascending ? int64_t(i) * 3 : int64_t((i * 7919) % count) * 3;
        }
        FluxaFrameData frame;
        giveIdentifiers(frame, ids);
        FluxaFrameData::PGroup& group = frame.groups[0];
        std::vector<int> wrong(4, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = t; i < count; i += 4) {
                    wrong[size_t(t)] += group.findParticleById(ids[size_t(i)]) != i;
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(std::accumulate(wrong.begin(), wrong.end(), 0), 0) << ascending;
    }
}
