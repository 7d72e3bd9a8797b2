// SPDX-License-Identifier: Apache-2.0
// The default job count. Both variables come from the environment and are treated as
// hostile text: they are parsed without overflow and the result is bounded.
#include "jobs/DefaultThreadCount.h"

#include "platform/Platform.h"

#include <cstdlib>

namespace XUtils {
namespace {

// The leading decimal number of text, as atoi reads it (0 when there is none), clamped
// to [-1, MaxThreadCount + 1] so that no value overflows.
long readLeadingNumber(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    if (value < -1) {
        return -1;
    }
    return value > MaxThreadCount ? MaxThreadCount + 1L : value;
}

int clampToMax(long count) {
    return count > MaxThreadCount ? MaxThreadCount : static_cast<int>(count);
}

int readEnvironmentCount() {
    return computeDefaultThreadCount(Platform::getEnvironment("QUIL_NUM_THREADS"),
                                     Platform::getEnvironment("QUIL_USE_THREAD_AFFINITY"),
                                     Platform::numaProcessorCount(), Platform::processorCount());
}

// Forces the computation while the library loads, whoever asks first.
[[maybe_unused]] const int loadTimeCount = defaultThreadCount();

} // namespace

int computeDefaultThreadCount(const char* numThreads, const char* useAffinity, int numaProcessors,
                              int processors) {
    if (numThreads != nullptr) {
        const long requested = readLeadingNumber(numThreads);
        if (requested >= 1) {
            return clampToMax(requested);
        }
    }
    const bool affinityOff = useAffinity != nullptr && readLeadingNumber(useAffinity) == 0;
    if (!affinityOff && numaProcessors > 0) {
        return clampToMax(numaProcessors);
    }
    return processors >= 1 ? clampToMax(processors) : 1;
}

int defaultThreadCount() {
    static const int count = readEnvironmentCount();
    return count;
}

} // namespace XUtils
