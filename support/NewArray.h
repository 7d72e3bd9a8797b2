// SPDX-License-Identifier: Apache-2.0
// Allocation helpers for the large flat buffers of the decoders. They report through the
// log and a false result; nothing is thrown. newArray memory is released with delete[],
// newZeroedArray memory with free(). Large blocks of plain elements get huge pages.
#pragma once

#include "support/LargeBlocks.h"
#include "support/Messages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <type_traits>

namespace kor_detail {
// Counts print through float precision, as the messages always have.
inline double countForMessage(uint64_t n) {
    return static_cast<double>(static_cast<float>(n));
}
} // namespace kor_detail

template <typename T>
bool newArray(T*& out, uint64_t n) {
    out = nullptr;
    try {
        if (n > std::numeric_limits<size_t>::max() / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        out = new (std::nothrow) T[static_cast<size_t>(n)];
    } catch (...) {
        out = nullptr;
        logMessage("[ERROR] newArray failed to allocate %.0f\n", kor_detail::countForMessage(n));
    }
    // Elements with constructors have touched their memory already.
    if (std::is_trivially_default_constructible<T>::value) {
        adviseLargeBlock(out, n * sizeof(T));
    }
    return out != nullptr;
}

template <typename T>
bool newZeroedArray(T*& out, uint64_t n) {
    static_assert(sizeof(T) == 4, "newZeroedArray serves 4-byte elements");
    out = n <= std::numeric_limits<size_t>::max() / 4
              ? static_cast<T*>(std::calloc(static_cast<size_t>(n), 4))
              : nullptr;
    // calloc fails only for want of memory, but not every C runtime says so in errno
    // (Wine's msvcrt leaves it alone).
    if (out == nullptr) {
        logMessage("[ERROR] newZeroedArray failed to allocate ENOMEM %.0f\n",
                   kor_detail::countForMessage(n));
    }
    if (out != nullptr) {
        adviseLargeBlock(out, n * 4);
        return true;
    }
    logMessage("Retry newZeroedArray with newArray and memset\n");
    // The retry keeps calloc's allocator so that every newZeroedArray block is released
    // the same way, with free().
    if (n <= std::numeric_limits<size_t>::max() / 4) {
        out = static_cast<T*>(std::malloc(static_cast<size_t>(n) * 4));
    }
    if (out != nullptr) {
        std::memset(static_cast<void*>(out), 0, static_cast<size_t>(n) * 4);
    }
    logMessage("Retry newZeroedArray with newArray and memset result = %d\n",
               out != nullptr ? 1 : 0);
    return out != nullptr;
}
