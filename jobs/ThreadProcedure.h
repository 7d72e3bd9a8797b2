// SPDX-License-Identifier: Apache-2.0
// Work that a thread manager runs on one of its threads. The slot order is fixed (run,
// then name); owners release procedures through their own types, so the destructor is
// protected and non-virtual.
#pragma once

namespace XUtils {

class ThreadProcedure {
public:
    virtual void run(int argument) = 0;
    // Null unless the procedure has something to show in a thread list.
    virtual const char* name() { return nullptr; }

protected:
    ThreadProcedure() = default;
    ~ThreadProcedure() = default;
    ThreadProcedure(const ThreadProcedure&) = default;
    ThreadProcedure& operator=(const ThreadProcedure&) = default;
};

} // namespace XUtils
