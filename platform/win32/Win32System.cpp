// SPDX-License-Identifier: Apache-2.0
// Processor topology and the environment on Windows. The NUMA query is
// looked up at run time: GetLogicalProcessorInformationEx is missing from older systems.
#include "platform/Platform.h"

#include <cstdlib>
#include <windows.h>

namespace Platform {
namespace {

using ProcessorInformationQuery = BOOL(WINAPI*)(LOGICAL_PROCESSOR_RELATIONSHIP,
                                                PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, PDWORD);

int countBits(KAFFINITY mask) {
    int count = 0;
    for (; mask != 0; mask &= mask - 1) {
        ++count;
    }
    return count;
}

} // namespace

int processorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

int numaProcessorCount() {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto query = kernel != nullptr
                           ? reinterpret_cast<ProcessorInformationQuery>(reinterpret_cast<void*>(
                                 GetProcAddress(kernel, "GetLogicalProcessorInformationEx")))
                           : nullptr;
    if (query == nullptr) {
        return 0;
    }
    DWORD bytes = 0;
    if (query(RelationNumaNode, nullptr, &bytes) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return 0;
    }
    auto* const records = static_cast<unsigned char*>(std::malloc(bytes));
    if (records == nullptr) {
        return 0;
    }
    int total = 0;
    if (query(RelationNumaNode, reinterpret_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(records),
              &bytes)) {
        // Records vary in size; each states its own. A record that claims no size or more
        // than is left ends the walk.
        DWORD offset = 0;
        while (bytes - offset >= sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX)) {
            const auto* record =
                reinterpret_cast<const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(records + offset);
            if (record->Size == 0 || record->Size > bytes - offset) {
                break;
            }
            if (record->Relationship == RelationNumaNode) {
                total += countBits(record->NumaNode.GroupMask.Mask);
            }
            offset += record->Size;
        }
    }
    std::free(records);
    return total;
}

const char* getEnvironment(const char* name) {
    return std::getenv(name);
}

// Large pages need a privilege that hosts rarely hold; the advice is simply not taken.
void adviseHugePages(void*, size_t) {}

} // namespace Platform
