// SPDX-License-Identifier: Apache-2.0
// Job sets that record what ran where, shared by the job tests.
#pragma once

#include "jobs/MTJobs.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace jobstest {

// Records every JobProc call: the job, its arg and the thread it ran on.
class RecordingJobs : public MTJobs {
public:
    struct Call {
        Job* job;
        uint32_t arg;
        std::thread::id thread;
    };

    explicit RecordingJobs(const char* reportedName = "MTJob") : setName(reportedName) {}

    void JobProc(Job* job) override {
        const std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(Call{job, job->arg, std::this_thread::get_id()});
    }
    const char* GetName() const override { return setName; }

    std::vector<Call> Calls() {
        const std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    void ClearCalls() {
        const std::lock_guard<std::mutex> lock(mutex);
        calls.clear();
    }

    // The jobs in list order.
    std::vector<Job*> Jobs() const {
        std::vector<Job*> jobs;
        for (Job* job = firstJob; job != nullptr; job = job->next) {
            jobs.push_back(job);
        }
        return jobs;
    }

private:
    const char* setName;
    std::mutex mutex;
    std::vector<Call> calls;
};

} // namespace jobstest
