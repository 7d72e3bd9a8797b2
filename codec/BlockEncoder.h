// SPDX-License-Identifier: Apache-2.0
// The steps of Compress that turn floats into the integers of a coded block: range scan,
// quantisation and differencing. Sizes are 64-bit: a 512^3 grid has 2^27 elements and
// its byte counts do not fit 32 bits. The loops are written for the vectoriser; every
// result is what the plain element-by-element order gives.
#pragma once

#include <cstdint>

class RunPacker;

// Minimum and maximum of data[0..count); both 0 when a value is not finite. A zero
// minimum keeps the sign of the first zero in the data, as a scan in order picks it: it
// is stored as the block's offset.
void findValueRange(const float* data, uint64_t count, float& minimum, float& maximum);

// q[e] = floor((data[e] - minimum) * scale + 0.5) in single precision. False when a value
// does not fit a signed 32-bit integer; q is then written with unspecified values.
bool quantiseValues(const float* data, uint64_t count, float minimum, float scale, int32_t* q);

// Differences q along every axis, passes times; the exact inverse of the decoder's
// integration. Wraps at 32 bits.
void differenceGrid(uint32_t* q, const uint64_t extent[3], uint32_t passes);

// Quantises data and differences it as the two functions above do, feeding the results in
// element order to packer and reporting the smallest and largest of them. With passes 0 or
// 1 it is one sweep over the data that keeps only a row and a plane (the differenced grid
// is never stored), otherwise the passes run over work, which holds the grid and is what
// packer writes into. False when a value does not fit a signed 32-bit integer.
bool packDifferenced(const float* data, const uint64_t extent[3], uint32_t passes, float minimum,
                     float scale, int32_t* work, RunPacker& packer, int32_t& lowest,
                     int32_t& highest);
