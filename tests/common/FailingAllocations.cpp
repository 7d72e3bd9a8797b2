// SPDX-License-Identifier: Apache-2.0
#include "tests/common/FailingAllocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// 0: nothing fails.
std::atomic<size_t> failFromBytes{0};

void* allocate(size_t bytes) noexcept {
    const size_t limit = failFromBytes.load(std::memory_order_relaxed);
    if (limit != 0 && bytes >= limit) {
        return nullptr;
    }
    return std::malloc(bytes != 0 ? bytes : 1);
}

void* allocateOrThrow(size_t bytes) {
    void* const memory = allocate(bytes);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

} // namespace

namespace kortest {

FailLargeAllocations::FailLargeAllocations(size_t minimumBytes) {
    failFromBytes.store(minimumBytes != 0 ? minimumBytes : 1);
}

FailLargeAllocations::~FailLargeAllocations() {
    failFromBytes.store(0);
}

} // namespace kortest

void* operator new(size_t bytes) {
    return allocateOrThrow(bytes);
}
void* operator new[](size_t bytes) {
    return allocateOrThrow(bytes);
}
void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    return allocate(bytes);
}
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept {
    return allocate(bytes);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
