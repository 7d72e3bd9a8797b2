// SPDX-License-Identifier: Apache-2.0
// printf-style formatting into a fixed buffer that tells a cut text from a whole one.
#pragma once

// Formats into buffer (size bytes); the last byte is always a terminator. Returns the
// characters written, -1 when the text was cut or formatting failed, 0 (nothing written)
// when size is below 1.
int formatBounded(char* buffer, int size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
