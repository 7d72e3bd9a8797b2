// SPDX-License-Identifier: Apache-2.0
// The library's thread manager on std::thread. It starts no thread until SetupThreads
// asks for some, because the library builds it while loading. Idle threads block on a
// condition variable.
#pragma once

#include "jobs/ThreadManager.h"

#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

namespace XUtils {

// A job may block on a lock whose holder waits for its own procedures, so a pool that
// queued procedures behind busy threads could wait forever. When a procedure arrives and
// no idle thread can take it, the pool therefore starts an extra thread. Threads beyond
// the requested count leave as soon as they find nothing to do.
//
// Fields (all guarded by mutex):
//   tasks         procedures handed over but not yet taken by a thread
//   workers       every thread not joined yet; finished ones wait there to be joined
//   targetCount   standing threads requested through SetupThreads
//   activeCount   threads that have not finished
//   idleCount     threads blocked in wake
//   startingCount threads started but not yet in their loop; they count as idle
//   stopping      set by the destructor; every thread leaves once its procedure returns
// idleThreadsChanged is signalled whenever a thread stops being idle or starting, by
// taking up a procedure or by leaving: SetupThreads waits on it.
class ThreadPool final : public ThreadManager {
public:
    ThreadPool();
    // Joins every thread once its procedure returns. Job sets must not run on the pool
    // any more.
    ~ThreadPool() override;

    // May run while job sets are built or run on the pool. Surplus idle threads have left
    // when it returns; surplus busy ones leave when their procedure returns.
    int SetupThreads(int threadCount) override;
    // Thread priorities have no portable equivalent here; the request is accepted.
    void SetLowPriority(bool low) override;
    void RunProcedure(ThreadProcedure* procedure, int argument) override;
    // No flag of this pool is settable; the request is accepted.
    void SetPoolFlag(bool value) override;
    int CurrentThreadIndex() const override;
    // The standing thread count last set up.
    int ThreadCount() const override;

private:
    struct Task {
        ThreadProcedure* procedure;
        int argument;
    };
    struct Worker {
        std::thread thread;
        int index = 0;
        bool finished = false;
    };

    void workerLoop(Worker* worker);
    bool startWorkerLocked();
    // Unlinks finished workers (without allocating) so that they can be joined unlocked.
    std::list<Worker> takeFinishedLocked();
    static void joinAll(std::list<Worker>& joinable);
    int lowestFreeIndexLocked() const;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idleThreadsChanged;
    std::deque<Task> tasks;
    std::list<Worker> workers;
    int targetCount = 0;
    int activeCount = 0;
    int idleCount = 0;
    int startingCount = 0;
    bool stopping = false;
};

} // namespace XUtils
