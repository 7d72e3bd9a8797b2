// SPDX-License-Identifier: Apache-2.0
// Job sets on the library's thread pool: workers on pool threads, reused across runs.
#include "jobs/MTJobs.h"
#include "jobs/ThreadManagerStack.h"
#include "jobs/ThreadPoolControl.h"
#include "tests/common/CapturedOutput.h"
#include "tests/jobs/JobsTestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace {

using jobstest::RecordingJobs;

class PooledJobs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setThreadPoolThreads(pool, 2), 2); }
    void TearDown() override {
        EXPECT_EQ(setThreadPoolThreads(pool, 0), 0);
        EXPECT_EQ(log.Text().find("did not exit properly"), std::string::npos);
    }

    kortest::CapturedLog log;
    kortest::CapturedDebugOutput output;
    XUtils::ThreadPool pool;
};

// Counts how often each item of [0, total) is visited and where each job ran.
class RangeJobs : public MTJobs {
public:
    RangeJobs(int64_t total, int threadCount)
        : hits(static_cast<size_t>(total)), ranOn(64), defaultCount(threadCount) {}

    void JobProc(Job* job) override {
        for (int64_t i = job->start; i < job->end; ++i) {
            hits[static_cast<size_t>(i)].fetch_add(1);
            progressCount.fetch_add(1);
        }
        ranOn[static_cast<size_t>(job->index)] = std::this_thread::get_id();
    }
    int GetDefaultThreadCount() const override { return defaultCount; }

    bool EveryItemHit(int times) const {
        for (const std::atomic<int>& hit : hits) {
            if (hit.load() != times) {
                return false;
            }
        }
        return true;
    }

    std::vector<std::atomic<int>> hits;
    std::vector<std::thread::id> ranOn;

private:
    int defaultCount;
};

std::vector<std::pair<int64_t, int64_t>> rangesOf(const std::vector<Job*>& jobs) {
    std::vector<std::pair<int64_t, int64_t>> ranges;
    for (const Job* job : jobs) {
        EXPECT_EQ(job->count, job->end - job->start);
        ranges.emplace_back(job->start, job->end);
    }
    return ranges;
}

TEST_F(PooledJobs, InitRangeSplitsByIntegerDivisionAndReusesTheList) {
    RecordingJobs jobs;
    jobs.Init(3);
    EXPECT_EQ(output.Text(), "[WinThreadManager] Constructor.\n") << "no warning with a manager";
    const std::vector<Job*> built = jobs.Jobs();
    ASSERT_EQ(built.size(), 3u);
    jobs.InitRange(10);
    EXPECT_EQ(rangesOf(jobs.Jobs()),
              (std::vector<std::pair<int64_t, int64_t>>{{0, 3}, {3, 6}, {6, 10}}));
    jobs.InitRange(2);
    EXPECT_EQ(rangesOf(jobs.Jobs()),
              (std::vector<std::pair<int64_t, int64_t>>{{0, 0}, {0, 1}, {1, 2}}));
    EXPECT_EQ(jobs.Jobs(), built);
}

TEST_F(PooledJobs, RangesAreCoveredExactlyOnceOnPoolThreadsRunAfterRun) {
    // More jobs than standing pool threads: every worker still gets a thread.
    RangeJobs jobs(1000, 5);
    jobs.InitRange(1000);
    ASSERT_EQ(jobs.jobCount, 5);
    EXPECT_EQ(jobs.threadManager, &pool);
    for (int32_t i = 0; i < jobs.jobCount; ++i) {
        EXPECT_NE(jobs.threadHandles[i], nullptr) << "each worker stores its handle";
    }
    Job* const first = jobs.firstJob;
    for (int run = 1; run <= 3; ++run) {
        jobs.Run(static_cast<uint32_t>(run));
        EXPECT_TRUE(jobs.EveryItemHit(run));
        EXPECT_EQ(jobs.progressCount.load(), 1000u);
    }
    EXPECT_EQ(jobs.firstJob, first);
    for (int index = 0; index < 5; ++index) {
        EXPECT_NE(jobs.ranOn[static_cast<size_t>(index)], std::this_thread::get_id());
    }
}

class Collector {
public:
    void Collect(Job* job) {
        const std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(job->index);
    }
    std::vector<int32_t> Sorted() {
        const std::lock_guard<std::mutex> lock(mutex);
        std::vector<int32_t> sorted = seen;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

private:
    std::mutex mutex;
    std::vector<int32_t> seen;
};

TEST_F(PooledJobs, RunProcThenRunSwitchesBackToJobProc) {
    RecordingJobs jobs;
    jobs.Init(3);
    Collector collector;
    ASSERT_TRUE(jobs.RunProc(&collector, &Collector::Collect));
    EXPECT_EQ(collector.Sorted(), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_TRUE(jobs.Calls().empty());
    jobs.Run(9);
    EXPECT_EQ(jobs.Calls().size(), 3u);
    for (const RecordingJobs::Call& call : jobs.Calls()) {
        EXPECT_EQ(call.arg, 9u);
    }
    EXPECT_EQ(collector.Sorted().size(), 3u);
}

TEST_F(PooledJobs, ReinitialisingWithAnotherCountReplacesTheWorkers) {
    RecordingJobs jobs;
    jobs.Init(2);
    const std::vector<Job*> two = jobs.Jobs();
    jobs.Init(2);
    EXPECT_EQ(jobs.Jobs(), two);
    jobs.Init(5);
    ASSERT_EQ(jobs.jobCount, 5);
    jobs.Run(1);
    EXPECT_EQ(jobs.Calls().size(), 5u);
    jobs.Init(1);
    jobs.ClearCalls();
    jobs.Run(2);
    ASSERT_EQ(jobs.Calls().size(), 1u);
    EXPECT_NE(jobs.Calls()[0].thread, std::this_thread::get_id());
}

TEST_F(PooledJobs, DestroyingSetsFreesTheirPoolThreads) {
    for (int round = 0; round < 4; ++round) {
        RecordingJobs jobs;
        jobs.Init(3);
        jobs.Run(0);
    }
    // Workers still parked in their loops would keep the pool from shrinking.
    EXPECT_EQ(setThreadPoolThreads(pool, 0), 0);
    EXPECT_EQ(setThreadPoolThreads(pool, 2), 2);
}

TEST_F(PooledJobs, DefaultCountAndCountsBelowOne) {
    RangeJobs byDefault(1, 3);
    byDefault.Init(-1);
    EXPECT_EQ(byDefault.jobCount, 3);
    RangeJobs none(1, 0);
    none.Init(0);
    EXPECT_EQ(none.jobCount, 1) << "no job could never report that all workers started";
    none.InitRange(1);
    none.Run(0);
    EXPECT_TRUE(none.EveryItemHit(1));
}

TEST_F(PooledJobs, ASetBuiltWithoutAManagerIsRebuiltOnThePushedOne) {
    ASSERT_EQ(setThreadPoolThreads(pool, 0), 0);
    RecordingJobs jobs;
    jobs.Init(-1);
    ASSERT_EQ(jobs.threadManager, nullptr);
    ASSERT_EQ(setThreadPoolThreads(pool, 2), 2);
    jobs.Init(1);
    EXPECT_EQ(jobs.threadManager, &pool);
    jobs.Run(0);
    ASSERT_EQ(jobs.Calls().size(), 1u);
    EXPECT_NE(jobs.Calls()[0].thread, std::this_thread::get_id());
}

class RecordingProgress : public JobProgress {
public:
    void Report(uint32_t count) override { reports.push_back(count); }
    bool IsCancelled() override { return false; }
    void Idle() override { ++idles; }
    std::vector<uint32_t> reports;
    int idles = 0;
};

class SlowJobs : public MTJobs {
public:
    void JobProc(Job*) override {
        progressCount.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        progressCount.fetch_add(1);
    }
};

TEST_F(PooledJobs, AWaitingRunReportsProgressAndIdles) {
    SlowJobs jobs;
    jobs.Init(2);
    RecordingProgress progress;
    jobs.Run(0, &progress);
    EXPECT_EQ(jobs.progressCount.load(), 4u);
    ASSERT_FALSE(progress.reports.empty());
    EXPECT_EQ(static_cast<size_t>(progress.idles), progress.reports.size());
    for (const uint32_t count : progress.reports) {
        EXPECT_LE(count, 4u);
    }
}

// Runs out of memory after a given number of jobs.
class ShortOfJobs : public RecordingJobs {
public:
    explicit ShortOfJobs(int jobsLeft) : available(jobsLeft) {}
    Job* CreateJob() override { return available-- > 0 ? RecordingJobs::CreateJob() : nullptr; }

private:
    int available;
};

TEST_F(PooledJobs, AJobThatCannotBeCreatedShortensTheSetInsteadOfHanging) {
    ShortOfJobs jobs(2);
    jobs.Init(4);
    EXPECT_EQ(jobs.jobCount, 2);
    EXPECT_NE(log.Text().find("[ERROR] MTJob could create only 2 of 4 jobs\n"), std::string::npos);
    jobs.Run(0);
    EXPECT_EQ(jobs.Calls().size(), 2u);
}

} // namespace
