// SPDX-License-Identifier: Apache-2.0
#include "codec/BlockEncoder.h"

#include "codec/RunPacker.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t SignBit = 0x80000000u;
// 2^31 as a float.
constexpr uint32_t TwoTo31Bits = 0x4F000000u;
// Rows are quantised in pieces this long, so a piece and its differences stay in L1.
constexpr uint64_t ChunkElements = 2048;

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

float valueOfBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// Four floats side by side, one SSE2 register. The compiler may not reorder a float
// minimum of a plain loop, so the range scan says what runs in parallel.
constexpr uint64_t LaneCount = 4;
typedef float FloatLanes __attribute__((vector_size(LaneCount * sizeof(float))));

void widenRange(const int32_t* values, uint64_t count, int32_t& lowest, int32_t& highest) {
    int32_t low = lowest;
    int32_t high = highest;
    for (uint64_t e = 0; e < count; ++e) {
        low = values[e] < low ? values[e] : low;
        high = values[e] > high ? values[e] : high;
    }
    lowest = low;
    highest = high;
}

// out[t] = quantised[t + 1] - quantised[t], the x-difference (quantised[0] is the element
// before the chunk, 0 at a row's start), then minus the previous row's x-difference and
// minus the previous plane's xy-difference where Rows and Planes say those exist. row
// and plane receive this chunk's x- and xy-differences for the next row and plane.
template <bool Rows, bool Planes>
void differenceChunk(const uint32_t* quantised, uint64_t count, uint32_t* row, uint32_t* plane,
                     uint32_t* out) {
    for (uint64_t t = 0; t < count; ++t) {
        const uint32_t x = quantised[t + 1] - quantised[t];
        uint32_t y = x;
        if (Rows) {
            y = x - row[t];
            row[t] = x;
        }
        uint32_t z = y;
        if (Planes) {
            z = y - plane[t];
            plane[t] = y;
        }
        out[t] = z;
    }
}

// row and plane are null along axes that have no saved line to subtract.
void differenceRow(const uint32_t* quantised, uint64_t count, uint32_t* row, uint32_t* plane,
                   uint32_t* out) {
    if (row != nullptr && plane != nullptr) {
        differenceChunk<true, true>(quantised, count, row, plane, out);
    } else if (row != nullptr) {
        differenceChunk<true, false>(quantised, count, row, plane, out);
    } else if (plane != nullptr) {
        differenceChunk<false, true>(quantised, count, row, plane, out);
    } else {
        differenceChunk<false, false>(quantised, count, row, plane, out);
    }
}

// One sweep for passes 0 and 1. A single difference pass along every axis is
// d = q - q[x-1] - q[y-1] + ... taken in any axis order, since the passes of different
// axes commute; holding the previous row's x-differences and the previous plane's
// xy-differences is enough to produce every d as soon as its q is known.
bool sweepDifferenced(const float* data, const uint64_t extent[3], uint32_t passes, float minimum,
                      float scale, RunPacker& packer, uint32_t* previousRow,
                      uint32_t* previousPlane, int32_t& lowest, int32_t& highest) {
    const uint64_t nx = extent[0];
    uint32_t quantised[ChunkElements + 1];
    int32_t differenced[ChunkElements];
    bool fits = true;
    for (uint64_t k = 0; k < extent[2]; ++k) {
        for (uint64_t j = 0; j < extent[1]; ++j) {
            const uint64_t rowStart = (k * extent[1] + j) * nx;
            // The first row of a plane, like the first plane, subtracts nothing: a
            // difference pass leaves the first line of each axis as it is.
            if (j == 0 && previousRow != nullptr) {
                std::fill(previousRow, previousRow + nx, 0u);
            }
            uint32_t* const planeRow = previousPlane != nullptr ? previousPlane + j * nx : nullptr;
            uint32_t carried = 0;
            for (uint64_t i = 0; i < nx; i += ChunkElements) {
                const uint64_t count = std::min(ChunkElements, nx - i);
                int32_t* const out = differenced;
                if (passes == 0) {
                    fits = quantiseValues(data + rowStart + i, count, minimum, scale, out) && fits;
                } else {
                    fits = quantiseValues(data + rowStart + i, count, minimum, scale,
                                          reinterpret_cast<int32_t*>(quantised + 1)) &&
                           fits;
                    quantised[0] = carried;
                    carried = quantised[count];
                    differenceRow(quantised, count,
                                  previousRow != nullptr ? previousRow + i : nullptr,
                                  planeRow != nullptr ? planeRow + i : nullptr,
                                  reinterpret_cast<uint32_t*>(out));
                }
                widenRange(out, count, lowest, highest);
                packer.Feed(out, count);
            }
        }
    }
    return fits;
}

} // namespace

void findValueRange(const float* data, uint64_t count, float& minimum, float& maximum) {
    minimum = 0;
    maximum = 0;
    if (count == 0) {
        return;
    }
    // Every lane keeps its own extremes, which a float comparison gives exactly in any
    // order; only zeros are ambiguous, and those are settled below. x - x is 0 for every
    // finite x and NaN for infinities and NaN, so the sums stay 0 until a value is not
    // finite. Two sets of lanes keep two loads in flight.
    FloatLanes low[2] = {};
    FloatLanes high[2] = {};
    FloatLanes nonFinite[2] = {};
    for (int set = 0; set < 2; ++set) {
        for (uint64_t l = 0; l < LaneCount; ++l) {
            low[set][l] = data[0];
            high[set][l] = data[0];
        }
    }
    uint64_t e = 0;
    for (; count - e >= 2 * LaneCount; e += 2 * LaneCount) {
        for (int set = 0; set < 2; ++set) {
            FloatLanes value;
            std::memcpy(&value, data + e + set * LaneCount, sizeof value);
            low[set] = value < low[set] ? value : low[set];
            high[set] = value > high[set] ? value : high[set];
            nonFinite[set] += value - value;
        }
    }
    float lowest = data[0];
    float highest = data[0];
    float traps = 0.0f;
    for (int set = 0; set < 2; ++set) {
        for (uint64_t l = 0; l < LaneCount; ++l) {
            lowest = low[set][l] < lowest ? low[set][l] : lowest;
            highest = high[set][l] > highest ? high[set][l] : highest;
            traps += nonFinite[set][l];
        }
    }
    for (; e < count; ++e) {
        lowest = data[e] < lowest ? data[e] : lowest;
        highest = data[e] > highest ? data[e] : highest;
        traps += data[e] - data[e];
    }
    // A channel with a NaN or an infinity is stored as zeros, as it always was.
    if (!(traps == 0.0f)) {
        return;
    }
    minimum = lowest;
    maximum = highest;
    if (minimum == 0.0f) {
        // Scanning in order, the minimum becomes the first zero and no later one replaces it.
        minimum = *std::find(data, data + count, 0.0f);
    }
}

bool quantiseValues(const float* data, uint64_t count, float minimum, float scale, int32_t* q) {
    uint32_t outside = 0;
    for (uint64_t e = 0; e < count; ++e) {
        const float sum = (data[e] - minimum) * scale + 0.5f;
        // |sum| < 2^31, tested on the bits so that the loop has no branch; false for NaN,
        // which an infinite scale can produce. Sums outside are not converted: the
        // conversion would be undefined.
        const uint32_t bits = bitsOf(sum);
        const uint32_t fits = (bits & ~SignBit) < TwoTo31Bits ? 1u : 0u;
        outside |= fits ^ 1u;
        const float bounded = valueOfBits(bits & (0u - fits));
        const int32_t truncated = static_cast<int32_t>(bounded);
        q[e] = truncated - (static_cast<float>(truncated) > bounded ? 1 : 0);
    }
    return outside == 0;
}

void differenceGrid(uint32_t* q, const uint64_t extent[3], uint32_t passes) {
    const uint64_t row = extent[0];
    const uint64_t plane = extent[0] * extent[1];
    const uint64_t lines = extent[1] * extent[2];
    for (uint64_t pass = 0; pass < passes; ++pass) {
        for (uint64_t line = 0; line < lines; ++line) {
            uint32_t* const values = q + line * row;
            for (uint64_t i = row; i-- > pass + 1;) {
                values[i] -= values[i - 1];
            }
        }
        for (uint64_t k = 0; k < extent[2]; ++k) {
            uint32_t* const slab = q + k * plane;
            for (uint64_t j = extent[1]; j-- > pass + 1;) {
                for (uint64_t i = 0; i < row; ++i) {
                    slab[j * row + i] -= slab[(j - 1) * row + i];
                }
            }
        }
        for (uint64_t k = extent[2]; k-- > pass + 1;) {
            for (uint64_t i = 0; i < plane; ++i) {
                q[k * plane + i] -= q[(k - 1) * plane + i];
            }
        }
    }
}

bool packDifferenced(const float* data, const uint64_t extent[3], uint32_t passes, float minimum,
                     float scale, int32_t* work, RunPacker& packer, int32_t& lowest,
                     int32_t& highest) {
    lowest = INT32_MAX;
    highest = INT32_MIN;
    const uint64_t plane = extent[0] * extent[1];
    uint32_t* previousRow = nullptr;
    uint32_t* previousPlane = nullptr;
    // Saved lines are needed only along axes that have a second line to subtract them from.
    const bool rows = passes == 1 && extent[1] > 1;
    const bool planes = passes == 1 && extent[2] > 1;
    const bool swept = passes <= 1 && (!rows || newZeroedArray(previousRow, extent[0])) &&
                       (!planes || newZeroedArray(previousPlane, plane));
    bool fits = false;
    if (swept) {
        fits = sweepDifferenced(data, extent, passes, minimum, scale, packer, previousRow,
                                previousPlane, lowest, highest);
    } else {
        // Deeper differencing, or no room for the saved lines: the plain passes, then the
        // packer folds the grid in place.
        const uint64_t count = plane * extent[2];
        fits = quantiseValues(data, count, minimum, scale, work);
        if (fits) {
            differenceGrid(reinterpret_cast<uint32_t*>(work), extent, passes);
            widenRange(work, count, lowest, highest);
            packer.Feed(work, count);
        }
    }
    std::free(previousRow);
    std::free(previousPlane);
    return fits;
}
