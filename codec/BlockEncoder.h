// SPDX-License-Identifier: Apache-2.0
// The steps of Compress that turn floats into the integer items of a coded block:
// range scan, quantisation and differencing. Sizes are 64-bit: a 512^3 grid has 2^27
// elements and its byte counts do not fit 32 bits.
#pragma once

#include <cstdint>

// Minimum and maximum of data[0..count); both 0 when a value is not finite.
void findValueRange(const float* data, uint64_t count, float& minimum, float& maximum);

// q[e] = floor((data[e] - minimum) * scale + 0.5) in single precision. False, with q
// partly written, when a value does not fit a signed 32-bit integer.
bool quantiseValues(const float* data, uint64_t count, float minimum, float scale, int32_t* q);

// Differences q along every axis, passes times; the exact inverse of the decoder's
// integration. Wraps at 32 bits.
void differenceGrid(uint32_t* q, const uint64_t extent[3], uint32_t passes);
