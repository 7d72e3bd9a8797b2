// SPDX-License-Identifier: Apache-2.0
// The thread pool and the thread-manager stack it is pushed on.
#include "jobs/ThreadManagerStack.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "tests/common/CapturedOutput.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

// Holds every procedure until all of them run at once, which only happens when each has
// a thread of its own; records the pool index each ran on.
class Rendezvous : public XUtils::ThreadProcedure {
public:
    Rendezvous(const XUtils::ThreadPool& owner, int participants)
        : pool(owner), expected(participants) {}

    void run(int) override {
        std::unique_lock<std::mutex> lock(mutex);
        indices.push_back(pool.CurrentThreadIndex());
        allThere.notify_all();
        allThere.wait(lock, [this] { return static_cast<int>(indices.size()) == expected; });
        ++finished;
        allThere.notify_all();
    }

    std::vector<int> SortedIndicesWhenDone() {
        std::unique_lock<std::mutex> lock(mutex);
        allThere.wait(lock, [this] { return finished == expected; });
        std::sort(indices.begin(), indices.end());
        return indices;
    }

private:
    const XUtils::ThreadPool& pool;
    const int expected;
    int finished = 0;
    std::vector<int> indices;
    std::mutex mutex;
    std::condition_variable allThere;
};

TEST(ThreadPool, ConstructionAnnouncesItselfAndStartsNothing) {
    kortest::CapturedDebugOutput output;
    XUtils::ThreadPool pool;
    EXPECT_EQ(output.Text(), "[WinThreadManager] Constructor.\n");
    EXPECT_EQ(pool.ThreadCount(), 0);
    EXPECT_EQ(pool.CurrentThreadIndex(), -1);
    EXPECT_EQ(XUtils::currentThreadManager(), nullptr);
}

TEST(ThreadPool, ResizeZeroTwoThreeZeroPushesOnceAndPopsOnce) {
    XUtils::ThreadPool pool;
    EXPECT_EQ(setThreadPoolThreads(pool, 2), 2);
    EXPECT_EQ(XUtils::currentThreadManager(), &pool);
    EXPECT_EQ(setThreadPoolThreads(pool, 3), 3);
    EXPECT_EQ(setThreadPoolThreads(pool, -1), 3) << "negative counts are refused";
    Rendezvous three(pool, 3);
    for (int i = 0; i < 3; ++i) {
        pool.RunProcedure(&three, i);
    }
    EXPECT_EQ(three.SortedIndicesWhenDone(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(setThreadPoolThreads(pool, 0), 0);
    EXPECT_EQ(XUtils::currentThreadManager(), nullptr) << "one pop empties the stack";
    EXPECT_EQ(setThreadPoolThreads(pool, -4), 0);
}

TEST(ThreadPool, ProceduresBeyondTheIdleThreadsGetThreadsOfTheirOwn) {
    XUtils::ThreadPool pool;
    ASSERT_EQ(pool.SetupThreads(1), 1);
    Rendezvous four(pool, 4);
    for (int i = 0; i < 4; ++i) {
        pool.RunProcedure(&four, i);
    }
    EXPECT_EQ(four.SortedIndicesWhenDone().size(), 4u);
    EXPECT_EQ(pool.ThreadCount(), 1);
    ASSERT_EQ(pool.SetupThreads(6), 6) << "the destructor then joins them";
}

// Holds its pool thread until released, as a job set's worker loop does.
class Gate : public XUtils::ThreadProcedure {
public:
    void run(int) override {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [this] { return open; });
    }
    void Release() {
        const std::lock_guard<std::mutex> lock(mutex);
        open = true;
        released.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
};

TEST(ThreadPool, ShrinkingWhileAThreadTakesUpAProcedureReturns) {
    Gate gate; // outlives the pool, whose destructor waits for the procedure to return
    XUtils::ThreadPool pool;
    // The shrink finds the new thread still starting. Before the fix it waited for a signal
    // that only a leaving thread sent, so it hung for as long as the procedure held on.
    auto shrink = std::async(std::launch::async, [&] {
        pool.RunProcedure(&gate, 0);
        return pool.SetupThreads(0);
    });
    const bool returned = shrink.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    gate.Release();
    EXPECT_TRUE(returned);
    EXPECT_EQ(shrink.get(), 0);
}

TEST(ThreadManagerStack, TopEntryIsCurrentAndRemovalKeepsTheRest) {
    XUtils::ThreadPool lower;
    XUtils::ThreadPool upper;
    ASSERT_TRUE(XUtils::pushThreadManager(&lower));
    ASSERT_TRUE(XUtils::pushThreadManager(&upper));
    XUtils::removeThreadManager(&lower);
    EXPECT_FALSE(XUtils::isThreadManagerPushed(&lower));
    EXPECT_EQ(XUtils::currentThreadManager(), &upper);
    ASSERT_TRUE(XUtils::pushThreadManager(&lower));
    EXPECT_EQ(XUtils::currentThreadManager(), &lower);
    XUtils::popThreadManager();
    EXPECT_EQ(XUtils::currentThreadManager(), &upper);
    XUtils::popThreadManager();
    XUtils::popThreadManager();
    EXPECT_EQ(XUtils::currentThreadManager(), nullptr) << "popping an empty stack is harmless";
}

} // namespace
