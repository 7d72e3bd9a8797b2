// SPDX-License-Identifier: Apache-2.0
// The abstract thread pool that job sets run on. The virtual slot order is part of the
// interface: destructor, SetupThreads, SetLowPriority, RunProcedure, SetPoolFlag,
// CurrentThreadIndex, then ThreadCount. Job sets call SetLowPriority(true), RunProcedure,
// CurrentThreadIndex and ThreadCount.
#pragma once

#include "jobs/ThreadProcedure.h"

namespace XUtils {

class ThreadManager {
public:
    virtual ~ThreadManager() = default;

    // Sizes the pool to threadCount standing threads; returns the count now standing.
    virtual int SetupThreads(int threadCount) = 0;
    // Whether procedures started from now on run below normal priority.
    virtual void SetLowPriority(bool low) = 0;
    // Starts procedure->run(argument) on a pool thread. A procedure may block (a job can
    // wait for a lock whose holder waits for procedures of its own), so an implementation
    // must not queue a procedure behind a busy thread indefinitely.
    virtual void RunProcedure(ThreadProcedure* procedure, int argument) = 0;
    // A second pool-wide flag with no meaning to job sets.
    virtual void SetPoolFlag(bool value) = 0;
    // Index of the calling pool thread, or -1 when the caller is not one of its threads.
    virtual int CurrentThreadIndex() const = 0;
    // The standing thread count, which bounds how many jobs of a set run at once.
    virtual int ThreadCount() const = 0;

protected:
    ThreadManager() = default;
    ThreadManager(const ThreadManager&) = delete;
    ThreadManager& operator=(const ThreadManager&) = delete;
};

} // namespace XUtils
