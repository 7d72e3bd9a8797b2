// SPDX-License-Identifier: Apache-2.0
// Makes large allocations fail on purpose, so that the library's answers to exhausted
// memory can be tested. Linking FailingAllocations.cpp replaces the global operators new
// and delete of the test executable (malloc and free underneath, so sanitizers see
// matching pairs); they behave normally while no FailLargeAllocations is alive.
#pragma once

#include <cstddef>

namespace kortest {

// While alive, every operator new of at least minimumBytes fails (nothrow forms return
// null, the others throw std::bad_alloc).
class FailLargeAllocations {
public:
    explicit FailLargeAllocations(size_t minimumBytes);
    ~FailLargeAllocations();
    FailLargeAllocations(const FailLargeAllocations&) = delete;
    FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;
};

} // namespace kortest
