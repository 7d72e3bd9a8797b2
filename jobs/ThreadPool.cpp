// SPDX-License-Identifier: Apache-2.0
// The pool's threads and their hand-over queue. Threads are joined by whichever call
// next finds them finished, never by the thread itself, and never under the lock.
#include "jobs/ThreadPool.h"

#include "jobs/DefaultThreadCount.h"
#include "platform/Platform.h"
#include "support/Messages.h"

#include <algorithm>
#include <iterator>

namespace XUtils {
namespace {

struct PoolThreadIdentity {
    const ThreadPool* pool;
    int index;
};

thread_local PoolThreadIdentity currentIdentity{nullptr, -1};

} // namespace

ThreadPool::ThreadPool() {
    Platform::debugOutput("[WinThreadManager] Constructor.\n");
}

ThreadPool::~ThreadPool() {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    // Threads only flag their own entry, so the list itself is safe to walk unlocked.
    joinAll(workers);
}

int ThreadPool::SetupThreads(int threadCount) {
    std::list<Worker> finished;
    int standing = 0;
    {
        std::unique_lock<std::mutex> lock(mutex);
        targetCount = std::max(0, std::min(threadCount, MaxThreadCount));
        while (activeCount < targetCount && startWorkerLocked()) {
        }
        if (activeCount < targetCount) {
            targetCount = activeCount;
        }
        wake.notify_all();
        // Busy threads leave when their procedure returns; only idle ones are waited for.
        idleThreadsChanged.wait(
            lock, [this] { return activeCount <= targetCount || idleCount + startingCount == 0; });
        finished = takeFinishedLocked();
        standing = targetCount;
    }
    joinAll(finished);
    return standing;
}

void ThreadPool::SetLowPriority(bool) {}

void ThreadPool::RunProcedure(ThreadProcedure* procedure, int argument) {
    std::list<Worker> finished;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        finished = takeFinishedLocked();
        try {
            tasks.push_back(Task{procedure, argument});
        } catch (...) {
            logMessage("[ERROR] ThreadPool could not queue a procedure\n");
            return;
        }
        if (tasks.size() > static_cast<size_t>(idleCount) + static_cast<size_t>(startingCount)) {
            startWorkerLocked();
        }
    }
    wake.notify_one();
    joinAll(finished);
}

void ThreadPool::SetPoolFlag(bool) {}

int ThreadPool::CurrentThreadIndex() const {
    return currentIdentity.pool == this ? currentIdentity.index : -1;
}

int ThreadPool::ThreadCount() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return targetCount;
}

void ThreadPool::workerLoop(Worker* worker) {
    std::unique_lock<std::mutex> lock(mutex);
    --startingCount;
    currentIdentity = PoolThreadIdentity{this, worker->index};
    while (!stopping) {
        if (!tasks.empty()) {
            const Task task = tasks.front();
            tasks.pop_front();
            // This thread no longer counts as idle or starting, which a resize may wait for.
            idleThreadsChanged.notify_all();
            lock.unlock();
            task.procedure->run(task.argument);
            lock.lock();
            continue;
        }
        if (activeCount > targetCount) {
            break;
        }
        ++idleCount;
        wake.wait(lock);
        --idleCount;
    }
    --activeCount;
    worker->finished = true;
    idleThreadsChanged.notify_all();
}

bool ThreadPool::startWorkerLocked() {
    try {
        const int index = lowestFreeIndexLocked();
        workers.emplace_back();
        Worker& worker = workers.back();
        worker.index = index;
        try {
            worker.thread = std::thread(&ThreadPool::workerLoop, this, &worker);
        } catch (...) {
            workers.pop_back();
            throw;
        }
    } catch (...) {
        logMessage("[ERROR] ThreadPool could not start a thread\n");
        return false;
    }
    ++activeCount;
    ++startingCount;
    return true;
}

std::list<ThreadPool::Worker> ThreadPool::takeFinishedLocked() {
    std::list<Worker> finished;
    for (auto worker = workers.begin(); worker != workers.end();) {
        const auto following = std::next(worker);
        if (worker->finished) {
            finished.splice(finished.end(), workers, worker);
        }
        worker = following;
    }
    return finished;
}

void ThreadPool::joinAll(std::list<Worker>& joinable) {
    for (Worker& worker : joinable) {
        worker.thread.join();
    }
}

int ThreadPool::lowestFreeIndexLocked() const {
    for (int index = 0;; ++index) {
        bool taken = false;
        for (const Worker& worker : workers) {
            taken = taken || (!worker.finished && worker.index == index);
        }
        if (!taken) {
            return index;
        }
    }
}

} // namespace XUtils
