// SPDX-License-Identifier: Apache-2.0
// Job sets without a thread manager (one job on the caller) and on the library's pool.
#include "jobs/MTJobs.h"
#include "jobs/ThreadManagerStack.h"
#include "jobs/ThreadPoolControl.h"
#include "tests/common/CapturedOutput.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string NoManager =
    "Using MTJobs without a thread manager. The code will run in single threaded mode\n";
const std::string ForcedToOne =
    "Using MTJobs without threadManager with 'threads' != -1!When the thread manager is "
    "missing 'threads' value is FORCED to 1.This may BREAK YOUR code!\n";

// Counts visits of each item of [0, total), records the thread of every job and offers
// a member function for RunProc.
class CountingJobs : public MTJobs {
public:
    explicit CountingJobs(const char* reportedName = "MTJob", int64_t total = 16)
        : hits(static_cast<size_t>(total)), setName(reportedName) {}

    void JobProc(Job* job) override {
        for (int64_t i = job->start; i < job->end; ++i) {
            hits[static_cast<size_t>(i)].fetch_add(1);
            progressCount.fetch_add(1);
        }
        Record(job);
    }
    void Bound(Job* job) {
        boundCalls.fetch_add(1);
        Record(job);
    }
    const char* GetName() const override { return setName; }
    int GetDefaultThreadCount() const override { return defaultCount; }

    bool EveryItemHit(int times) const {
        return std::all_of(hits.begin(), hits.end(),
                           [times](const auto& hit) { return hit == times; });
    }
    std::vector<Job*> Jobs() const {
        std::vector<Job*> jobs;
        for (Job* job = firstJob; job != nullptr; job = job->next) {
            jobs.push_back(job);
        }
        return jobs;
    }

    std::vector<std::atomic<int>> hits;
    std::atomic<int> boundCalls{0};
    std::mutex mutex;
    std::vector<std::pair<uint32_t, std::thread::id>> calls; // arg and thread per execution
    int defaultCount = 3;

private:
    void Record(Job* job) {
        const std::lock_guard<std::mutex> lock(mutex);
        calls.emplace_back(job->arg, std::this_thread::get_id());
    }
    const char* setName;
};

TEST(MTJobsWithoutManager, WarnAndRunOneJobOnTheCallingThread) {
    ASSERT_EQ(XUtils::currentThreadManager(), nullptr);
    kortest::CapturedDebugOutput output;
    CountingJobs jobs;
    jobs.Init(-1);
    EXPECT_EQ(output.Text(), NoManager + "Please check the MTJob implementation.\n");
    ASSERT_EQ(jobs.jobCount, 1);
    Job* const first = jobs.firstJob;
    jobs.Init(-1);
    EXPECT_EQ(jobs.firstJob, first) << "the same count keeps the jobs";

    jobs.InitRange(16);
    jobs.Run(7);
    EXPECT_TRUE(jobs.EveryItemHit(1));
    EXPECT_EQ(jobs.calls, (decltype(jobs.calls){{7u, std::this_thread::get_id()}}));

    output.Clear();
    CountingJobs counted("MT PRTIN");
    counted.Init(4);
    EXPECT_EQ(output.Text(),
              NoManager + "Please check the MT PRTIN implementation.\n" + ForcedToOne);
    EXPECT_EQ(counted.jobCount, 1);
    EXPECT_STREQ(counted.firstJob->name(), "MT PRTIN");
}

TEST(MTJobsWithoutManager, InitRangeNamesTheSetAndClampsNegativeTotals) {
    kortest::CapturedDebugOutput output;
    CountingJobs jobs("MT PRTIN");
    jobs.InitRange(10);
    EXPECT_EQ(output.Text(), NoManager + "Please check the MT PRTIN implementation.\n");
    ASSERT_EQ(jobs.jobCount, 1);
    EXPECT_EQ(
        (std::vector<int64_t>{jobs.firstJob->start, jobs.firstJob->count, jobs.firstJob->end}),
        (std::vector<int64_t>{0, 10, 10}));
    jobs.InitRange(-5);
    EXPECT_EQ(jobs.firstJob->count, 0) << "a negative total is an empty range";
}

class CancellableProgress : public JobProgress {
public:
    void Report(uint32_t count) override { reports.push_back(count); }
    bool IsCancelled() override { return cancelled; }
    void Idle() override { ++idles; }
    std::vector<uint32_t> reports;
    int idles = 0;
    bool cancelled = false;
};

TEST(MTJobsWithoutManager, RunAfterRunProcCallsJobProcAgainAndClearsTheRunState) {
    kortest::CapturedDebugOutput output;
    CountingJobs jobs;
    jobs.Init(-1);
    jobs.Run(3);
    ASSERT_TRUE(jobs.RunProc(&jobs, &CountingJobs::Bound));
    EXPECT_EQ(jobs.boundCalls, 1);
    EXPECT_EQ(jobs.calls.back().first, 3u) << "RunProc leaves arg alone";
    CancellableProgress progress;
    progress.cancelled = true;
    jobs.Run(4, &progress);
    EXPECT_EQ(jobs.procHolder, nullptr);
    EXPECT_EQ(jobs.calls.size(), 3u);
    EXPECT_EQ(jobs.boundCalls, 1);
    EXPECT_TRUE(jobs.IsAborted()) << "the progress object answers";
    jobs.aborted = 1;
    jobs.progressCount = 12;
    jobs.Run(5);
    EXPECT_FALSE(jobs.IsAborted());
    EXPECT_EQ(jobs.progressCount.load(), 0u);
}

class PooledJobs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setThreadPoolThreads(pool, 2), 2); }
    void TearDown() override {
        EXPECT_EQ(setThreadPoolThreads(pool, 0), 0) << "no worker still holds a pool thread";
        EXPECT_EQ(log.Text().find("did not exit properly"), std::string::npos);
    }

    kortest::CapturedLog log;
    XUtils::ThreadPool pool;
};

std::vector<std::vector<int64_t>> rangesOf(const CountingJobs& jobs) {
    std::vector<std::vector<int64_t>> ranges;
    for (const Job* job : jobs.Jobs()) {
        ranges.push_back({job->start, job->count, job->end});
    }
    return ranges;
}

TEST_F(PooledJobs, InitRangeSplitsByIntegerDivisionOverTheSameJobs) {
    CountingJobs jobs;
    jobs.Init(3);
    const std::vector<Job*> built = jobs.Jobs();
    jobs.InitRange(10);
    EXPECT_EQ(rangesOf(jobs),
              (std::vector<std::vector<int64_t>>{{0, 3, 3}, {3, 3, 6}, {6, 4, 10}}));
    jobs.InitRange(2);
    EXPECT_EQ(rangesOf(jobs), (std::vector<std::vector<int64_t>>{{0, 0, 0}, {0, 1, 1}, {1, 1, 2}}));
    EXPECT_EQ(jobs.Jobs(), built);
}

TEST_F(PooledJobs, EveryItemRunsOnceRunAfterRunWithTheCallerTakingTheFirstJob) {
    // More jobs than standing pool threads: every job still gets a thread.
    CountingJobs jobs("MTJob", 1000);
    jobs.defaultCount = 5;
    jobs.InitRange(1000);
    ASSERT_EQ(jobs.jobCount, 5);
    const std::vector<Job*> built = jobs.Jobs();
    for (int run = 1; run <= 3; ++run) {
        jobs.Run(static_cast<uint32_t>(run));
        EXPECT_TRUE(jobs.EveryItemHit(run));
        EXPECT_EQ(jobs.progressCount.load(), 1000u);
    }
    ASSERT_TRUE(jobs.RunProc(&jobs, &CountingJobs::Bound));
    EXPECT_EQ(jobs.boundCalls, 5);
    EXPECT_EQ(jobs.Jobs(), built);
    const auto onCaller = std::count_if(jobs.calls.begin(), jobs.calls.end(), [](const auto& call) {
        return call.second == std::this_thread::get_id();
    });
    EXPECT_EQ(onCaller, 4) << "one job of each of the four runs";
}

// Its second job, which a pool thread runs, runs a set of its own on the same pool, as a
// channel decode inside a job does.
class NestingJobs : public MTJobs {
public:
    void JobProc(Job* job) override {
        if (job->index == 1) {
            inner.Init(2);
            inner.Run(0);
            nestedThread = std::this_thread::get_id();
        }
    }
    CountingJobs inner;
    std::thread::id nestedThread;
};

TEST_F(PooledJobs, SetsRunFromAPoolThreadRunInlineAndSetsCountThePoolsThreads) {
    NestingJobs outer;
    outer.Init(2);
    outer.Run(0);
    ASSERT_EQ(outer.inner.calls.size(), 2u);
    EXPECT_NE(outer.nestedThread, std::this_thread::get_id());
    EXPECT_EQ(outer.inner.calls[0].second, outer.nestedThread);
    EXPECT_EQ(outer.inner.calls[1].second, outer.nestedThread) << "no hand-over to a busy pool";

    CountingJobs jobs;
    jobs.defaultCount = 8;
    EXPECT_EQ(jobs.ConcurrentJobs(), 2) << "bounded by the pool";
    jobs.defaultCount = 1;
    EXPECT_EQ(jobs.ConcurrentJobs(), 1) << "bounded by the default";
    ASSERT_EQ(setThreadPoolThreads(pool, 0), 0);
    EXPECT_EQ(CountingJobs().ConcurrentJobs(), 1) << "no pool, no concurrency";
}

TEST_F(PooledJobs, ReinitialisingAndDestroyingSetsReleaseTheirWorkers) {
    for (const int count : {2, 5, 1}) {
        CountingJobs jobs;
        jobs.Init(2);
        jobs.Init(count);
        ASSERT_EQ(jobs.jobCount, count);
        jobs.Run(1);
        EXPECT_EQ(jobs.calls.size(), static_cast<size_t>(count));
    }
}

TEST_F(PooledJobs, DefaultCountsBelowOneAndASetBuiltBeforeThePush) {
    CountingJobs none;
    none.defaultCount = 0;
    none.Init(-1);
    EXPECT_EQ(none.jobCount, 1) << "a set without jobs would do no work";

    ASSERT_EQ(setThreadPoolThreads(pool, 0), 0);
    kortest::CapturedDebugOutput output;
    CountingJobs early;
    early.Init(-1);
    ASSERT_EQ(setThreadPoolThreads(pool, 2), 2);
    early.Init(2);
    EXPECT_EQ(early.threadManager, &pool) << "an inline list is rebuilt on the manager";
    early.Run(0);
    ASSERT_EQ(early.calls.size(), 2u);
    EXPECT_NE(early.calls[0].second, early.calls[1].second);
}

class SlowJobs : public MTJobs {
public:
    void JobProc(Job*) override {
        progressCount.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
};

TEST_F(PooledJobs, AWaitingRunReportsProgressAndIdles) {
    SlowJobs jobs;
    jobs.Init(2);
    CancellableProgress progress;
    jobs.Run(0, &progress);
    ASSERT_FALSE(progress.reports.empty());
    EXPECT_EQ(static_cast<size_t>(progress.idles), progress.reports.size());
    EXPECT_LE(progress.reports.back(), 2u);
}

class ShortOfJobs : public CountingJobs {
public:
    Job* CreateJob() override { return available-- > 0 ? CountingJobs::CreateJob() : nullptr; }
    int available = 2;
};

TEST_F(PooledJobs, AJobThatCannotBeCreatedShortensTheSetInsteadOfHanging) {
    ShortOfJobs jobs;
    jobs.Init(4);
    EXPECT_EQ(jobs.jobCount, 2);
    EXPECT_NE(log.Text().find("[ERROR] MTJob could create only 2 of 4 jobs\n"), std::string::npos);
    jobs.Run(0);
    EXPECT_EQ(jobs.calls.size(), 2u);
}

} // namespace
