// SPDX-License-Identifier: Apache-2.0
// The thread pool and the thread-manager stack it is pushed on.
#include "jobs/ThreadManagerStack.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "tests/common/CapturedOutput.h"

#include <algorithm>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

// Holds every procedure until `expected` of them are running at once, which only
// happens when each has a thread of its own.
class Rendezvous : public XUtils::ThreadProcedure {
public:
    Rendezvous(const XUtils::ThreadPool& owner, int participants)
        : pool(owner), expected(participants) {}

    void run(int argument) override {
        std::unique_lock<std::mutex> lock(mutex);
        indices.push_back(pool.CurrentThreadIndex());
        arguments.push_back(argument);
        allThere.notify_all();
        allThere.wait(lock, [this] { return static_cast<int>(indices.size()) >= expected; });
        ++finished;
        allThere.notify_all();
    }

    void WaitUntilFinished() {
        std::unique_lock<std::mutex> lock(mutex);
        allThere.wait(lock, [this] { return finished == expected; });
    }

    std::vector<int> indices;
    std::vector<int> arguments;

private:
    const XUtils::ThreadPool& pool;
    const int expected;
    int finished = 0;
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
    EXPECT_EQ(pool.ThreadCount(), 3);
    EXPECT_EQ(setThreadPoolThreads(pool, 0), 0);
    EXPECT_EQ(XUtils::currentThreadManager(), nullptr) << "one pop empties the stack";
    EXPECT_EQ(setThreadPoolThreads(pool, 0), 0);
    EXPECT_EQ(setThreadPoolThreads(pool, -4), 0);
}

TEST(ThreadPool, ProceduresRunConcurrentlyOnIndexedThreads) {
    XUtils::ThreadPool pool;
    ASSERT_EQ(pool.SetupThreads(3), 3);
    Rendezvous rendezvous(pool, 3);
    for (int argument = 10; argument < 13; ++argument) {
        pool.RunProcedure(&rendezvous, argument);
    }
    rendezvous.WaitUntilFinished();
    std::sort(rendezvous.indices.begin(), rendezvous.indices.end());
    std::sort(rendezvous.arguments.begin(), rendezvous.arguments.end());
    EXPECT_EQ(rendezvous.indices, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(rendezvous.arguments, (std::vector<int>{10, 11, 12}));
}

TEST(ThreadPool, ProceduresBeyondTheIdleThreadsGetThreadsOfTheirOwn) {
    XUtils::ThreadPool pool;
    ASSERT_EQ(pool.SetupThreads(1), 1);
    Rendezvous rendezvous(pool, 4);
    for (int argument = 0; argument < 4; ++argument) {
        pool.RunProcedure(&rendezvous, argument);
    }
    rendezvous.WaitUntilFinished();
    EXPECT_EQ(pool.ThreadCount(), 1);
    Rendezvous again(pool, 2);
    pool.RunProcedure(&again, 0);
    pool.RunProcedure(&again, 1);
    again.WaitUntilFinished();
}

TEST(ThreadPool, ShrinkingAndDestructionJoinTheThreads) {
    XUtils::ThreadPool pool;
    ASSERT_EQ(pool.SetupThreads(4), 4);
    EXPECT_EQ(pool.SetupThreads(1), 1);
    Rendezvous rendezvous(pool, 1);
    pool.RunProcedure(&rendezvous, 0);
    rendezvous.WaitUntilFinished();
    ASSERT_EQ(rendezvous.indices.size(), 1u);
    EXPECT_GE(rendezvous.indices[0], 0);
    EXPECT_LT(rendezvous.indices[0], 4) << "survivors keep their index";
    ASSERT_EQ(pool.SetupThreads(6), 6);
}

TEST(ThreadManagerStack, TopEntryIsCurrentAndRemovalKeepsTheRest) {
    XUtils::ThreadPool lower;
    XUtils::ThreadPool upper;
    ASSERT_TRUE(XUtils::pushThreadManager(&lower));
    ASSERT_TRUE(XUtils::pushThreadManager(&upper));
    EXPECT_EQ(XUtils::currentThreadManager(), &upper);
    XUtils::removeThreadManager(&lower);
    EXPECT_FALSE(XUtils::isThreadManagerPushed(&lower));
    EXPECT_EQ(XUtils::currentThreadManager(), &upper);
    ASSERT_TRUE(XUtils::pushThreadManager(&lower));
    EXPECT_EQ(XUtils::currentThreadManager(), &lower);
    XUtils::popThreadManager();
    EXPECT_EQ(XUtils::currentThreadManager(), &upper);
    XUtils::popThreadManager();
    EXPECT_EQ(XUtils::currentThreadManager(), nullptr);
    XUtils::popThreadManager();
    EXPECT_EQ(XUtils::currentThreadManager(), nullptr) << "popping an empty stack is harmless";
}

} // namespace
