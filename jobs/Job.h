// SPDX-License-Identifier: Apache-2.0
// One unit of a job set's work. When a thread manager runs the set, a job is also the
// procedure that executes it once on a pool thread. A job owns the rest of its set's list
// (next).
#pragma once

#include "jobs/ThreadProcedure.h"
#include "platform/Platform.h"

#include <cstdint>

class MTJobs;

// Fields:
//   start, count, end  the job's item range [start, end), count = end - start
//   arg                the value given to the last MTJobs::Run
//   index              position in the set's list, 0 to jobCount - 1
//   owner              the set; null only for a job built outside one
//   next               the following job of the set, owned by this one
//   ackMode            cleared by every run; while clear, a finished job sets doneEvent
//   doneEvent          set by the pool thread when its execution of the job has finished;
//                      auto-reset
class Job : public XUtils::ThreadProcedure {
public:
    Job() = default;
    // Tears the list down from its tail.
    virtual ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // One execution on a pool thread; a thread manager calls it with the job's index.
    void run(int argument) override;
    // The owner's name, for thread lists.
    const char* name() override;

    int64_t start = 0;
    int64_t count = 1;
    int64_t end = 0;
    uint32_t arg = 0;
    int32_t index = 0;
    MTJobs* owner = nullptr;
    Job* next = nullptr;
    bool ackMode = false;
    Platform::Event doneEvent;
};
