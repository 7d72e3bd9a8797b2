// SPDX-License-Identifier: Apache-2.0
// Sizing the pool and keeping its place on the thread-manager stack in step.
#include "jobs/ThreadPoolControl.h"

#include "jobs/ThreadManagerStack.h"

int setThreadPoolThreads(XUtils::ThreadPool& pool, int threads) {
    if (threads < 0) {
        return pool.ThreadCount();
    }
    if (threads == 0) {
        // Off the stack first, so that no job set picks the pool up while it shrinks.
        XUtils::removeThreadManager(&pool);
        return pool.SetupThreads(0);
    }
    const int running = pool.SetupThreads(threads);
    if (running > 0 && !XUtils::isThreadManagerPushed(&pool) && !XUtils::pushThreadManager(&pool)) {
        return pool.SetupThreads(0);
    }
    return running;
}
