// SPDX-License-Identifier: Apache-2.0
#include "jobs/Job.h"

#include "jobs/MTJobs.h"

Job::~Job() {
    delete next;
}

void Job::run(int) {
    if (owner != nullptr) {
        owner->ExecuteJob(this);
    }
    // The set may destroy this job as soon as the event is seen, so it is the last touch.
    if (!ackMode) {
        doneEvent.Set();
    }
}

const char* Job::name() {
    return owner != nullptr ? owner->name : "MTJobWithoutOwner";
}
