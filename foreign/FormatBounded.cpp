// SPDX-License-Identifier: Apache-2.0
#include "foreign/FormatBounded.h"

#include <cstdarg>
#include <cstdio>

int formatBounded(char* buffer, int size, const char* format, ...) {
    if (size < 1 || buffer == nullptr) {
        return 0;
    }
    va_list arguments;
    va_start(arguments, format);
    const int written = std::vsnprintf(buffer, static_cast<size_t>(size), format, arguments);
    va_end(arguments);
    buffer[size - 1] = '\0';
    // A text of exactly size characters has lost its last one to the terminator.
    if (written < 0 || written >= size) {
        return -1;
    }
    return written;
}
