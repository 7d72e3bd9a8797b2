// SPDX-License-Identifier: Apache-2.0
// Processor topology, thread handles, environment and memory advice on Linux.
#include "platform/Platform.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

namespace Platform {
namespace {

// Counts the CPUs of a sysfs list such as "0-3,8,10-11".
int countCpuList(const char* list) {
    int count = 0;
    const char* cursor = list;
    while (*cursor != '\0' && *cursor != '\n') {
        char* end = nullptr;
        const long first = std::strtol(cursor, &end, 10);
        if (end == cursor) {
            return count;
        }
        long last = first;
        cursor = end;
        if (*cursor == '-') {
            last = std::strtol(cursor + 1, &end, 10);
            cursor = end;
        }
        if (last >= first) {
            count += static_cast<int>(last - first + 1);
        }
        if (*cursor == ',') {
            ++cursor;
        }
    }
    return count;
}

} // namespace

int processorCount() {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

int numaProcessorCount() {
    int total = 0;
    for (int node = 0; node < 1024; ++node) {
        char path[96];
        std::snprintf(path, sizeof path, "/sys/devices/system/node/node%d/cpulist", node);
        FILE* file = std::fopen(path, "r");
        if (file == nullptr) {
            break;
        }
        char list[4096];
        if (std::fgets(list, sizeof list, file) != nullptr) {
            total += countCpuList(list);
        }
        std::fclose(file);
    }
    return total;
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
