// SPDX-License-Identifier: Apache-2.0
// Fresh memory of channel size costs more in first-touch page faults than in filling it
// (a 64 MiB channel is 16384 faults of 4 KiB pages), so large blocks ask for huge pages
// before anything touches them.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>

// Below this a block spans too few huge pages to gain from them.
constexpr uint64_t HugePageWorthyBytes = uint64_t(4) << 20;

// Call on a block that nothing has written yet; small blocks are left alone.
inline void adviseLargeBlock(void* block, uint64_t bytes) {
    if (block != nullptr && bytes >= HugePageWorthyBytes) {
        Platform::adviseHugePages(block, static_cast<size_t>(bytes));
    }
}
