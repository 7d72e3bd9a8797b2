// SPDX-License-Identifier: Apache-2.0
// UTF-8 paths to UTF-16 and back, lossless for any byte string: bytes that are not valid
// UTF-8 travel as code points U+100000 + byte (the pair 0xDBC0, 0xDC00 + byte) and come
// back unchanged.
#pragma once

#include <cstdint>
#include <cstdio>

// Converts up to the terminating zero byte. Returns the units produced without the
// terminator. With a null destination it only counts. The output is cut at a code point
// boundary when capacity runs out, and terminated while room remains.
int64_t utf8ToUtf16(const char* source, uint16_t* destination, int64_t capacity);

// Converts up to the terminating zero unit. Returns the bytes produced without the
// terminator; same counting and capacity rules.
int64_t utf16ToUtf8(const uint16_t* source, char* destination, int64_t capacity);

// Opens a file by its UTF-8 path and mode; null when the open fails.
FILE* uniFOpen(const char* path, const char* mode);
