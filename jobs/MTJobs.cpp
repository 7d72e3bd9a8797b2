// SPDX-License-Identifier: Apache-2.0
// Building, running and tearing down a job set. With a thread manager every job's worker
// loop is started once when the list is built and then driven through the job's events;
// without one the set has one job, executed on the calling thread.
#include "jobs/MTJobs.h"

#include "jobs/DefaultThreadCount.h"
#include "jobs/ThreadManagerStack.h"
#include "support/Messages.h"

#include <algorithm>
#include <bitset>

namespace {

// How long Run sleeps between looks at its progress display.
constexpr uint32_t ProgressPollMs = 10;

// The n-th processor (from 0) of the groups taken, counted through each group's mask.
void nthProcessor(const ProcessorSet& processors, bool selectedOnly, uint32_t n, uint16_t& group,
                  uint32_t& processor) {
    for (int32_t g = 0; g < processors.groupCount; ++g) {
        const ProcessorGroup& candidate = processors.groups[g];
        if (selectedOnly && !candidate.selected) {
            continue;
        }
        for (uint32_t bit = 0; bit < 64; ++bit) {
            if ((candidate.processorMask >> bit & 1u) == 0) {
                continue;
            }
            if (n-- == 0) {
                group = candidate.number;
                processor = bit;
                return;
            }
        }
    }
}

} // namespace

MTJobs::MTJobs(XUtils::ThreadManager* manager) : threadManager(manager) {}

MTJobs::~MTJobs() {
    closeThreadHandles();
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

void MTJobs::Init(int threads, const ProcessorSet* processors) {
    // The manager is only stored once the old list is gone: a list built in
    // single-threaded mode has no workers to stop, even if a manager has been pushed since.
    XUtils::ThreadManager* const manager =
        threadManager != nullptr ? threadManager : XUtils::currentThreadManager();
    const int count = resolveThreadCount(manager, threads, true);
    if (firstJob != nullptr && jobCount == count && manager == threadManager) {
        if (processors != nullptr && processors->groupCount > 1) {
            pinJobs(*processors);
        }
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

// Workers go round-robin over the processors of the selected groups, or of all groups
// when none is selected. Jobs without a worker (single-threaded mode) have no handle.
void MTJobs::pinJobs(const ProcessorSet& processors) {
    bool anySelected = false;
    for (int32_t g = 0; g < processors.groupCount; ++g) {
        anySelected = anySelected || processors.groups[g].selected;
    }
    uint32_t processorTotal = 0;
    for (int32_t g = 0; g < processors.groupCount; ++g) {
        if (!anySelected || processors.groups[g].selected) {
            processorTotal += uint32_t(std::bitset<64>(processors.groups[g].processorMask).count());
        }
    }
    uint32_t position = 0;
    for (Job* job = firstJob; job != nullptr && processorTotal > 0; job = job->next) {
        uint16_t group = 0;
        uint32_t processor = 0;
        nthProcessor(processors, anySelected, position++ % processorTotal, group, processor);
        if (job->index < threadHandles.Count()) {
            Platform::pinThread(threadHandles[job->index], group, processor);
        }
    }
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
    // No job means no worker to signal allStartedEvent: the build would wait forever. A
    // count may derive from file contents, and every job costs a thread.
    return std::max(1, std::min(count, XUtils::MaxThreadCount));
}

void MTJobs::buildJobs(int threads) {
    name = GetName();
    if (threadManager != nullptr) {
        threadManager->SetLowPriority(true);
    }
    // Every job exists before any worker starts, so that a failed CreateJob can still
    // lower jobCount before workers compare startedCount against it.
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
    closeThreadHandles();
    void* const noHandle = nullptr;
    threadHandles.SetSize(jobCount, &noHandle, true);
    if (threadManager == nullptr || jobCount == 0) {
        return;
    }
    for (Job* job = firstJob; job != nullptr; job = job->next) {
        threadManager->RunProcedure(job, job->index);
    }
    allStartedEvent.Wait(Platform::WaitForever);
    startedCount.store(0);
    allStartedEvent.Reset();
}

void MTJobs::destroyJobs() {
    delete firstJob;
    firstJob = nullptr;
    jobCount = 0;
}

void MTJobs::closeThreadHandles() {
    for (int32_t i = 0; i < threadHandles.Count(); ++i) {
        if (threadHandles[i] != nullptr) {
            Platform::closeThreadHandle(threadHandles[i]);
            threadHandles[i] = nullptr;
        }
    }
}

void MTJobs::runJobs(JobProgress* runProgress) {
    progress = runProgress;
    progressCount.store(0);
    aborted.store(0);
    for (Job* job = firstJob; job != nullptr; job = job->next) {
        job->ackMode = false;
        if (threadManager != nullptr) {
            job->doneEvent.Reset();
            job->startEvent.Set();
        } else {
            ExecuteJob(job);
        }
    }
    if (threadManager == nullptr) {
        return;
    }
    for (Job* job = firstJob; job != nullptr; job = job->next) {
        while (!job->doneEvent.Wait(ProgressPollMs)) {
            if (progress != nullptr) {
                progress->Report(progressCount.load());
                progress->Idle();
            }
        }
    }
}
