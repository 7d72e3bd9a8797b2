// SPDX-License-Identifier: Apache-2.0
// Building, running and tearing down a job set. With a thread manager each run hands the
// jobs to it as procedures and waits on their done events; without one the set has one
// job, executed on the calling thread.
#include "jobs/MTJobs.h"

#include "jobs/DefaultThreadCount.h"
#include "jobs/ThreadManagerStack.h"
#include "support/Messages.h"

#include <algorithm>

namespace {

// How long Run sleeps between looks at its progress display.
constexpr uint32_t ProgressPollMs = 10;

} // namespace

MTJobs::MTJobs(XUtils::ThreadManager* manager) : threadManager(manager) {}

MTJobs::~MTJobs() {
    destroyJobs();
    threadManager = nullptr;
    delete procHolder;
}

void MTJobs::JobProc(Job*) {}

const char* MTJobs::GetName() const {
    return "MTJob";
}

bool MTJobs::IsAborted() const {
    if (aborted.load(std::memory_order_relaxed) != 0) {
        return true;
    }
    return progress != nullptr && progress->IsCancelled();
}

Job* MTJobs::CreateJob() {
    return new (std::nothrow) Job;
}

void MTJobs::OnJobDone(Job*) {}

int MTJobs::GetDefaultThreadCount() const {
    return XUtils::defaultThreadCount();
}

void MTJobs::Init(int threads, const ProcessorSet*) {
    // The manager is only stored once the old list is gone: a list built in
    // single-threaded mode has no workers to stop, even if a manager has been pushed since.
    XUtils::ThreadManager* const manager =
        threadManager != nullptr ? threadManager : XUtils::currentThreadManager();
    const int count = resolveThreadCount(manager, threads, true);
    if (firstJob != nullptr && jobCount == count && manager == threadManager) {
        // Jobs run on whichever pool thread is free, so a processor set has nothing to
        // pin; it is accepted and ignored.
        return;
    }
    destroyJobs();
    threadManager = manager;
    buildJobs(count);
}

void MTJobs::InitRange(int64_t total) {
    if (firstJob == nullptr) {
        threadManager = threadManager != nullptr ? threadManager : XUtils::currentThreadManager();
        buildJobs(resolveThreadCount(threadManager, -1, false));
    }
    if (jobCount == 0) {
        return;
    }
    // A negative total is an empty range, not ranges of negative length.
    const int64_t items = total > 0 ? total : 0;
    const int64_t quotient = items / jobCount;
    const int64_t remainder = items % jobCount;
    int64_t k = 1;
    int64_t previousEnd = 0;
    for (Job* job = firstJob; job != nullptr; job = job->next, ++k) {
        job->start = previousEnd;
        // (k * items) / jobCount without the product overflowing.
        job->end = job->next == nullptr ? items : k * quotient + (k * remainder) / jobCount;
        job->count = job->end - job->start;
        previousEnd = job->end;
    }
}

void MTJobs::Run(uint32_t arg, JobProgress* runProgress) {
    delete procHolder;
    procHolder = nullptr;
    for (Job* job = firstJob; job != nullptr; job = job->next) {
        job->arg = arg;
    }
    runJobs(runProgress);
}

void MTJobs::ExecuteJob(Job* job) {
    if (procHolder != nullptr) {
        procHolder->run(job);
    } else {
        JobProc(job);
    }
}

int MTJobs::ConcurrentJobs() const {
    XUtils::ThreadManager* const manager =
        threadManager != nullptr ? threadManager : XUtils::currentThreadManager();
    if (manager == nullptr) {
        return 1;
    }
    return std::max(1, std::min(GetDefaultThreadCount(), manager->ThreadCount()));
}

int MTJobs::resolveThreadCount(XUtils::ThreadManager* manager, int threads,
                               bool warnOnCount) const {
    if (manager == nullptr) {
        debugPrint("Using MTJobs without a thread manager. The code will run in single "
                   "threaded mode\n");
        debugPrint("Please check the %s implementation.\n", GetName());
        if (warnOnCount && threads != -1) {
            debugPrint("Using MTJobs without threadManager with 'threads' != -1!When the thread "
                       "manager is missing 'threads' value is FORCED to 1.This may BREAK YOUR "
                       "code!\n");
        }
        return 1;
    }
    const int count = threads == -1 ? GetDefaultThreadCount() : threads;
    // A set needs at least one job to run its work at all. A count may derive from file
    // contents, and every job may occupy a thread.
    return std::max(1, std::min(count, XUtils::MaxThreadCount));
}

void MTJobs::buildJobs(int threads) {
    name = GetName();
    if (threadManager != nullptr) {
        threadManager->SetLowPriority(true);
    }
    Job** link = &firstJob;
    int created = 0;
    while (created < threads) {
        Job* const job = CreateJob();
        if (job == nullptr) {
            logMessage("[ERROR] %s could create only %d of %d jobs\n", name, created, threads);
            break;
        }
        job->owner = this;
        job->index = created;
        job->next = nullptr;
        *link = job;
        link = &job->next;
        ++created;
    }
    jobCount = created;
}

void MTJobs::destroyJobs() {
    delete firstJob;
    firstJob = nullptr;
    jobCount = 0;
}

void MTJobs::runJobs(JobProgress* runProgress) {
    progress = runProgress;
    progressCount.store(0);
    aborted.store(0);
    for (Job* job = firstJob; job != nullptr; job = job->next) {
        job->ackMode = false;
    }
    // A pool thread that handed work to its own pool could wait for threads that are all
    // busy, so nested sets run inline.
    if (threadManager == nullptr || firstJob == nullptr ||
        threadManager->CurrentThreadIndex() >= 0) {
        for (Job* job = firstJob; job != nullptr; job = job->next) {
            ExecuteJob(job);
        }
        return;
    }
    // The caller takes the first job rather than sleep through it, unless it has a
    // progress display to keep up.
    Job* const callersJob = progress == nullptr ? firstJob : nullptr;
    for (Job* job = firstJob; job != nullptr; job = job->next) {
        if (job != callersJob) {
            job->doneEvent.Reset();
            threadManager->RunProcedure(job, job->index);
        }
    }
    if (callersJob != nullptr) {
        ExecuteJob(callersJob);
    }
    for (Job* job = firstJob; job != nullptr; job = job->next) {
        if (job == callersJob) {
            continue;
        }
        while (!job->doneEvent.Wait(progress != nullptr ? ProgressPollMs : Platform::WaitForever)) {
            progress->Report(progressCount.load());
            progress->Idle();
        }
    }
}
