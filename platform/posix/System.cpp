// SPDX-License-Identifier: Apache-2.0
// Processor topology, thread handles, environment and memory advice on Linux.
#include "platform/Platform.h"
#include "platform/posix/NumaNodes.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <pthread.h>
#include <sched.h>
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

void* duplicateCurrentThreadHandle() {
    pthread_t* handle = new (std::nothrow) pthread_t(pthread_self());
    return handle;
}

void closeThreadHandle(void* handle) {
    delete static_cast<pthread_t*>(handle);
}

// Linux numbers its processors straight through: group g holds 64 g to 64 g + 63.
bool pinThread(void* handle, uint16_t group, uint32_t processor) {
    const size_t cpu = size_t(group) * 64 + processor;
    if (handle == nullptr || processor >= 64 || cpu >= CPU_SETSIZE) {
        return false;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return pthread_setaffinity_np(*static_cast<pthread_t*>(handle), sizeof set, &set) == 0;
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
