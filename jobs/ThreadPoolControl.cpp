// SPDX-License-Identifier: Apache-2.0
// Sizing the pool and keeping its place on the thread-manager stack in step.
#include "jobs/ThreadPoolControl.h"

#include "jobs/ThreadManagerStack.h"

#include <mutex>

namespace {

// Makes each call one step, so that concurrent calls cannot leave a pool of 0 threads on
// the stack or a sized pool off it. Lock order: this one first; the stack's and the pool's
// own locks are taken inside it one at a time, never nested.
std::mutex controlMutex;

} // namespace

int setThreadPoolThreads(XUtils::ThreadPool& pool, int threads) {
    if (threads < 0) {
        return pool.ThreadCount();
    }
    const std::lock_guard<std::mutex> lock(controlMutex);
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
