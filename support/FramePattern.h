// SPDX-License-Identifier: Apache-2.0
// Frame numbers in cache file names. A path names a whole sequence through one of three
// patterns: "%04d" (letters d, i, u in either case), "<frame04>" or "####". Widths above
// 12 count as 12; '#' runs are always zero-padded.
#pragma once

#include "support/CharString.h"

#include <cstdint>

// A missing frame number, and the request for the replacement text when expanding.
constexpr int32_t noFrame = 0x7FFFFFFF;
// Formats as the empty text.
constexpr int32_t emptyFrame = INT32_MIN;

// Whether any pattern occurs anywhere in the path, directories included.
bool hasFramePattern(const char* path);

// Replaces every pattern of the file name part (directories are left alone) by the frame
// formatted with the pattern's width and padding, or by replacement (cut to 15 characters)
// when frame is noFrame.
CharString expandFramePattern(const char* path, int32_t frame, const char* replacement);

// printf("%0*d")-style text of at most 15 characters into a 16-byte buffer.
void formatFrameNumber(char (&text)[16], int32_t value, bool isUnsigned, int width, bool zeroPad);

// The last run of digits before the extension (with a '-' just before it), or noFrame.
int32_t frameNumberFromFileName(const char* path);
