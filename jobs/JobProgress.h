// SPDX-License-Identifier: Apache-2.0
// A host's progress display for a running job set. The library itself always runs its
// job sets without one; a set only ever talks to it from the thread that called Run.
#pragma once

#include <cstdint>

class JobProgress {
public:
    virtual ~JobProgress() = default;

    // The set's progressCount, reported every time a wait for a job times out.
    virtual void Report(uint32_t count) = 0;
    // Polled through MTJobs::IsAborted by job bodies, possibly from worker threads.
    virtual bool IsCancelled() = 0;
    // Called after each report so that the host can keep its interface responsive.
    virtual void Idle() = 0;
};
