// SPDX-License-Identifier: Apache-2.0
// A job set: one piece of work split into jobs that run on the threads of a thread
// manager or, when none is pushed, as a single job on the calling thread. Workers are
// started once per thread count and then reused by every run.
#pragma once

#include "jobs/Job.h"
#include "jobs/JobProgress.h"
#include "jobs/ProcessorSet.h"
#include "jobs/TMTJobProcHolder.h"
#include "jobs/ThreadManager.h"
#include "platform/Platform.h"
#include "support/Messages.h"
#include "support/iArray.h"

#include <atomic>
#include <cstdint>
#include <new>

// Fields:
//   progressCount    work counter that job bodies may raise; cleared by every run
//   jobCount         jobs in the list behind firstJob
//   procHolder       owned; when set, it replaces JobProc for every job
//   progress         not owned; the display of the current run, or null
//   aborted          abort request; cleared by every run
//   name             GetName() as fetched when the jobs were last built
//   firstJob         owned head of the job list; null before the first initialisation
//   threadHandles    one handle per job, stored by its worker when it starts; null
//                    entries stand for workers that have not stored theirs
//   threadManager    not owned; the manager that runs the list, null in single-threaded
//                    mode. A list is only ever kept together with the manager it was
//                    started on.
//   startedCount     workers started since the jobs were last built
//   allStartedEvent  set by the worker that completes startedCount
// Run, RunProc, Init, InitRange and the destructor are called from one thread at a time.
class MTJobs {
public:
    explicit MTJobs(XUtils::ThreadManager* manager = nullptr);
    virtual ~MTJobs();
    MTJobs(const MTJobs&) = delete;
    MTJobs& operator=(const MTJobs&) = delete;

    // The work of one job; runs concurrently with the other jobs of the set.
    virtual void JobProc(Job* job);
    virtual const char* GetName() const;
    // Job bodies poll this from any thread.
    virtual bool IsAborted() const;
    // Subclasses that keep per-job state return their own Job type. Null means the
    // memory ran out; the set then has fewer jobs than asked for.
    virtual Job* CreateJob();
    virtual void OnJobDone(Job* job);
    virtual int GetDefaultThreadCount() const;

    // Builds the list for threads jobs (-1: the default count; with a thread manager
    // between 1 and XUtils::MaxThreadCount, without one always 1), or keeps the current
    // list when it already has that many. processors is accepted for pinning workers.
    void Init(int threads, const ProcessorSet* processors = nullptr);
    // Splits [0, total) over the jobs, building a default-sized list when there is none.
    void InitRange(int64_t total);
    // Runs JobProc once per job and returns when every job is done.
    void Run(uint32_t arg, JobProgress* runProgress = nullptr);
    // Runs (object->*method)(job) once per job and returns when every job is done. False
    // (and nothing run) when the binding cannot be allocated.
    template <typename T>
    bool RunProc(T* object, void (T::*method)(Job*), JobProgress* runProgress = nullptr) {
        delete procHolder;
        procHolder = new (std::nothrow) TMTJobProcHolder<T>(object, method);
        if (procHolder == nullptr) {
            logMessage("[ERROR] %s could not bind its job procedure\n", GetName());
            return false;
        }
        runJobs(runProgress);
        return true;
    }

    // What one execution of a job runs: the installed procedure, otherwise JobProc.
    void ExecuteJob(Job* job);

    std::atomic<uint32_t> progressCount{0};
    int32_t jobCount = 0;
    TMTJobProcHolderInterface* procHolder = nullptr;
    JobProgress* progress = nullptr;
    std::atomic<uint32_t> aborted{0};
    const char* name = nullptr;
    Job* firstJob = nullptr;
    iArray<void*> threadHandles;
    XUtils::ThreadManager* threadManager = nullptr;
    std::atomic<uint32_t> startedCount{0};
    Platform::Event allStartedEvent;

private:
    int resolveThreadCount(XUtils::ThreadManager* manager, int threads, bool warnOnCount) const;
    void buildJobs(int threads);
    void pinJobs(const ProcessorSet& processors);
    void destroyJobs();
    void closeThreadHandles();
    void runJobs(JobProgress* runProgress);
};
