// SPDX-License-Identifier: Apache-2.0
// Job sets with no thread manager pushed: one job, run on the calling thread.
#include "jobs/MTJobs.h"
#include "jobs/ThreadManagerStack.h"
#include "tests/common/CapturedOutput.h"
#include "tests/jobs/JobsTestSupport.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using jobstest::RecordingJobs;

const std::string NoManager =
    "Using MTJobs without a thread manager. The code will run in single threaded mode\n";
const std::string ForcedToOne =
    "Using MTJobs without threadManager with 'threads' != -1!When the thread manager is "
    "missing 'threads' value is FORCED to 1.This may BREAK YOUR code!\n";

std::string pleaseCheck(const char* name) {
    return std::string("Please check the ") + name + " implementation.\n";
}

TEST(MTJobsSingleThreaded, InitDefaultWarnsTwiceAndRunsOneJobOnTheCaller) {
    ASSERT_EQ(XUtils::currentThreadManager(), nullptr);
    kortest::CapturedDebugOutput output;
    RecordingJobs jobs;
    jobs.Init(-1);
    EXPECT_EQ(output.Text(), NoManager + pleaseCheck("MTJob"));
    ASSERT_EQ(jobs.jobCount, 1);
    EXPECT_EQ(jobs.threadManager, nullptr);

    jobs.Run(7);
    const auto calls = jobs.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].job, jobs.firstJob);
    EXPECT_EQ(calls[0].arg, 7u);
    EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(jobs.firstJob->index, 0);
    EXPECT_EQ(jobs.firstJob->owner, &jobs);
}

TEST(MTJobsSingleThreaded, InitWithACountWarnsThreeTimesAndForcesOneJob) {
    kortest::CapturedDebugOutput output;
    RecordingJobs jobs("MT PRTIN");
    jobs.Init(4);
    EXPECT_EQ(output.Text(), NoManager + pleaseCheck("MT PRTIN") + ForcedToOne);
    EXPECT_EQ(jobs.jobCount, 1);
    EXPECT_STREQ(jobs.name, "MT PRTIN");
    EXPECT_STREQ(jobs.firstJob->name(), "MT PRTIN");
}

TEST(MTJobsSingleThreaded, InitRangeNamesTheSetAndCoversTheWholeRange) {
    kortest::CapturedDebugOutput output;
    RecordingJobs jobs("MT PRTIN");
    jobs.InitRange(10);
    EXPECT_EQ(output.Text(), NoManager + pleaseCheck("MT PRTIN"));
    ASSERT_EQ(jobs.jobCount, 1);
    EXPECT_EQ(jobs.firstJob->start, 0);
    EXPECT_EQ(jobs.firstJob->count, 10);
    EXPECT_EQ(jobs.firstJob->end, 10);

    output.Clear();
    jobs.InitRange(-5);
    EXPECT_EQ(output.Text(), "") << "an existing list is re-split without a new search";
    EXPECT_EQ(jobs.firstJob->start, 0);
    EXPECT_EQ(jobs.firstJob->count, 0) << "a negative total is an empty range";
    EXPECT_EQ(jobs.firstJob->end, 0);
}

TEST(MTJobsSingleThreaded, InitWithTheSameCountKeepsTheJobs) {
    kortest::CapturedDebugOutput output;
    RecordingJobs jobs;
    jobs.Init(-1);
    Job* const first = jobs.firstJob;
    jobs.Init(-1);
    EXPECT_EQ(jobs.firstJob, first);
    EXPECT_EQ(jobs.threadHandles.Count(), 1);
    EXPECT_EQ(jobs.threadHandles[0], nullptr) << "no worker, so no handle to close later";
}

class MethodTarget {
public:
    void Work(Job* job) { seen.push_back(job); }
    std::vector<Job*> seen;
};

TEST(MTJobsSingleThreaded, RunAfterRunProcDropsTheHolderAndCallsJobProcAgain) {
    kortest::CapturedDebugOutput output;
    RecordingJobs jobs;
    jobs.Init(-1);
    jobs.Run(3);
    MethodTarget target;
    ASSERT_TRUE(jobs.RunProc(&target, &MethodTarget::Work));
    EXPECT_EQ(target.seen, std::vector<Job*>{jobs.firstJob});
    EXPECT_EQ(jobs.Calls().size(), 1u) << "RunProc replaces JobProc";
    EXPECT_EQ(jobs.firstJob->arg, 3u) << "RunProc leaves arg alone";
    EXPECT_NE(jobs.procHolder, nullptr);

    jobs.Run(4);
    EXPECT_EQ(jobs.procHolder, nullptr);
    ASSERT_EQ(jobs.Calls().size(), 2u);
    EXPECT_EQ(jobs.Calls()[1].arg, 4u);
    EXPECT_EQ(target.seen.size(), 1u);
}

TEST(MTJobsSingleThreaded, RunProcOnANullObjectCallsNothing) {
    kortest::CapturedDebugOutput output;
    RecordingJobs jobs;
    jobs.Init(-1);
    ASSERT_TRUE(jobs.RunProc<MethodTarget>(nullptr, &MethodTarget::Work));
    EXPECT_TRUE(jobs.Calls().empty());
}

class CancellingProgress : public JobProgress {
public:
    void Report(uint32_t) override {}
    bool IsCancelled() override { return cancelled; }
    void Idle() override {}
    bool cancelled = false;
};

// Answers IsAborted from inside a job body, where job bodies poll it.
class AbortProbe : public MTJobs {
public:
    void JobProc(Job*) override { abortedSeen = IsAborted(); }
    bool abortedSeen = false;
};

TEST(MTJobsSingleThreaded, IsAbortedFollowsTheFlagThenTheProgressAndEachRunClearsTheFlag) {
    kortest::CapturedDebugOutput output;
    AbortProbe jobs;
    jobs.Init(-1);
    CancellingProgress progress;
    jobs.Run(0, &progress);
    EXPECT_FALSE(jobs.abortedSeen);
    progress.cancelled = true;
    jobs.Run(0, &progress);
    EXPECT_TRUE(jobs.abortedSeen);
    jobs.aborted = 1;
    EXPECT_TRUE(jobs.IsAborted());
    jobs.Run(0);
    EXPECT_FALSE(jobs.abortedSeen) << "a run clears the flag and forgets the old progress";
}

TEST(MTJobsSingleThreaded, ProgressCountIsClearedByEachRun) {
    kortest::CapturedDebugOutput output;
    RecordingJobs jobs;
    jobs.Init(-1);
    jobs.progressCount = 12;
    jobs.Run(0);
    EXPECT_EQ(jobs.progressCount.load(), 0u);
}

TEST(MTJobsSingleThreaded, AJobWithoutASetHasAFixedName) {
    Job job;
    EXPECT_STREQ(job.name(), "MTJobWithoutOwner");
    EXPECT_EQ(job.start, 0);
    EXPECT_EQ(job.count, 1);
    EXPECT_EQ(job.end, 0);
}

TEST(MTJobsSingleThreaded, RunBeforeInitRunsNothing) {
    RecordingJobs jobs;
    jobs.Run(1);
    EXPECT_TRUE(jobs.Calls().empty());
}

} // namespace
