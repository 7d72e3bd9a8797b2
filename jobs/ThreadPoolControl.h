// SPDX-License-Identifier: Apache-2.0
// How a host turns the library's thread pool on and off: sizing the pool and making it
// the thread manager that job sets find. Call it while no job set is being initialised
// or run; job sets already built keep the pool they were started on.
#pragma once

#include "jobs/ThreadPool.h"

// threads >= 1: sizes the pool to that many threads and makes it the current thread
// manager (pushed once, however often this is called). 0: removes it from the
// thread-manager stack and stops its idle threads. Negative: refused, nothing changes.
// Returns the number of pool threads now in use.
int setThreadPoolThreads(XUtils::ThreadPool& pool, int threads);
