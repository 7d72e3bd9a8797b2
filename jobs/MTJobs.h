// SPDX-License-Identifier: Apache-2.0
// A job set: one piece of work split into jobs that run on the threads of a thread
// manager or, when none is pushed, as a single job on the calling thread. A run hands its
// jobs to the manager and waits for them; between runs a set holds no thread, so sets of
// frames that are done cost the pool nothing.
#pragma once

#include "jobs/Job.h"
#include "jobs/JobProgress.h"
#include "jobs/ProcessorSet.h"
#include "jobs/TMTJobProcHolder.h"
#include "jobs/ThreadManager.h"
#include "support/Messages.h"

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
//   threadManager    not owned; the manager that runs the list, null in single-threaded
//                    mode. A list is only ever kept together with the manager it was
//                    built for.
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
    // list when it already has that many. processors is accepted and ignored: jobs run on
    // whichever pool thread is free, so there is no worker to pin.
    void Init(int threads, const ProcessorSet* processors = nullptr);
    // Splits [0, total) over the jobs, building a default-sized list when there is none.
    void InitRange(int64_t total);
    // Runs JobProc once per job and returns when every job is done. The calling thread
    // executes the first job itself (all of them when it is a thread of the set's manager,
    // whose other threads may all be busy); with a progress display it only waits and
    // reports.
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

    // How many jobs of this set can make progress at once: the default count, bounded by
    // the threads of the manager the set runs on (the current one before the first
    // initialisation); 1 without a manager.
    int ConcurrentJobs() const;

    std::atomic<uint32_t> progressCount{0};
    int32_t jobCount = 0;
    TMTJobProcHolderInterface* procHolder = nullptr;
    JobProgress* progress = nullptr;
    std::atomic<uint32_t> aborted{0};
    const char* name = nullptr;
    Job* firstJob = nullptr;
    XUtils::ThreadManager* threadManager = nullptr;

private:
    int resolveThreadCount(XUtils::ThreadManager* manager, int threads, bool warnOnCount) const;
    void buildJobs(int threads);
    void destroyJobs();
    void runJobs(JobProgress* runProgress);
};
