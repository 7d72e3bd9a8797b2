// SPDX-License-Identifier: Apache-2.0
// A member function bound to its object, run once per job in place of MTJobs::JobProc.
#pragma once

class Job;

class TMTJobProcHolderInterface {
public:
    virtual ~TMTJobProcHolderInterface() = default;
    virtual void run(Job* job) = 0;
};

template <typename T>
class TMTJobProcHolder final : public TMTJobProcHolderInterface {
public:
    using Method = void (T::*)(Job*);

    TMTJobProcHolder(T* target, Method procedure) : object(target), method(procedure) {}

    void run(Job* job) override {
        if (object != nullptr) {
            (object->*method)(job);
        }
    }

private:
    T* object;
    Method method;
};
