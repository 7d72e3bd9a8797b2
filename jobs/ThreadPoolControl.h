// SPDX-License-Identifier: Apache-2.0
// How a host turns the library's thread pool on and off: sizing the pool and making it
// the thread manager that job sets find. Safe from any thread, also while job sets are
// being built or run: a set keeps the pool it was started on, and the pool serves it
// (with threads beyond the requested count if need be) until the set is destroyed.
#pragma once

#include "jobs/ThreadPool.h"

// threads >= 1: sizes the pool to that many threads and makes it the current thread
// manager (pushed once, however often this is called). 0: removes it from the
// thread-manager stack and stops its idle threads; threads held by job sets leave when
// their sets are destroyed. Negative: refused, nothing changes. Calls are serialised.
// Returns the number of pool threads now in use.
int setThreadPoolThreads(XUtils::ThreadPool& pool, int threads);
