// SPDX-License-Identifier: Apache-2.0
// The worker loop of one job and its shutdown. An idle worker polls its start event every
// millisecond and its quit event between polls, so a set can be torn down without any
// call into the thread manager.
#include "jobs/Job.h"

#include "jobs/MTJobs.h"
#include "support/Messages.h"

namespace {

constexpr uint32_t StartPollMs = 1;
constexpr uint32_t ExitWaitMs = 100;

} // namespace

Job::~Job() {
    delete next;
    // A process that is ending has no worker left to answer (see Platform.h).
    if (owner != nullptr && owner->threadManager != nullptr && !Platform::processIsEnding()) {
        quitEvent.Set();
        if (!exitedEvent.Wait(ExitWaitMs)) {
            logMessage("#job of %s did not exit properly\n", owner->name);
            // The worker still runs this job's loop; freeing the job under it would crash
            // the pool thread, so the report is followed by waiting for the exit.
            exitedEvent.Wait(Platform::WaitForever);
        }
    }
}

void Job::run(int) {
    if (owner != nullptr) {
        announceStart();
    }
    for (;;) {
        if (startEvent.Wait(StartPollMs)) {
            if (owner != nullptr) {
                owner->ExecuteJob(this);
            }
            if (!ackMode) {
                doneEvent.Set();
            }
        }
        if (quitEvent.Wait(0)) {
            break;
        }
    }
    exitedEvent.Set();
}

const char* Job::name() {
    return owner != nullptr ? owner->name : "MTJobWithoutOwner";
}

void Job::announceStart() {
    void* const handle = Platform::duplicateCurrentThreadHandle();
    // The handle array is empty when it could not be allocated.
    if (index >= 0 && index < owner->threadHandles.Count()) {
        owner->threadHandles[index] = handle;
    } else if (handle != nullptr) {
        Platform::closeThreadHandle(handle);
    }
    const uint32_t started = owner->startedCount.fetch_add(1) + 1;
    if (started == static_cast<uint32_t>(owner->jobCount)) {
        owner->allStartedEvent.Set();
    }
}
