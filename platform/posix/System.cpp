// SPDX-License-Identifier: Apache-2.0
// Processor topology, environment and memory advice on Linux.
#include "platform/Platform.h"
#include "platform/posix/NumaNodes.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace Platform {

int processorCount() {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

int numaProcessorCount() {
    return numaProcessorCountUnder("/sys/devices/system/node");
}

const char* getEnvironment(const char* name) {
    return std::getenv(name);
}

void adviseHugePages(void* address, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t hugePage = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(address) + hugePage - 1) & ~(hugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(address) + bytes) & ~(hugePage - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)address;
    (void)bytes;
#endif
}

bool processIsEnding() {
    return false;
}

void keepLibraryLoaded() {}

} // namespace Platform
