// SPDX-License-Identifier: Apache-2.0
// The number of jobs a job set starts when it is given no count. It is read once, while
// the library loads, from QUIL_NUM_THREADS, QUIL_USE_THREAD_AFFINITY and the topology.
#pragma once

namespace XUtils {

// Upper bound on any default and on the pool: no machine has more processors, and every
// job costs a thread once a thread manager is pushed.
constexpr int MaxThreadCount = 4096;

// numThreads and useAffinity are the variables' values (null when unset); numaProcessors
// is the processor count summed over NUMA nodes (0 when unknown), processors the plain
// processor count. Returns at least 1.
int computeDefaultThreadCount(const char* numThreads, const char* useAffinity, int numaProcessors,
                              int processors);

// The count computed at load.
int defaultThreadCount();

} // namespace XUtils
