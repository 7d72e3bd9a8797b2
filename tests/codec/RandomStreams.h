// SPDX-License-Identifier: Apache-2.0
// Seeded random codec streams for the differential tests: valid headers and tables over
// random item bits, so that runs, overshooting runs and long codes all turn up.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace kortest {

struct RandomStreamShape {
    int axes = 3;
    std::vector<uint32_t> extents;
    uint32_t passes = 0;
};

// A random extent set and pass count for axes (1 or 3); odd, thin and span-crossing
// shapes are all likely.
RandomStreamShape randomShape(std::mt19937& rng, int axes);

// A coded single block of the shape: random quantisation header, then a fixed-width or
// table-form coder header (one-entry tables included) and random item bits.
std::vector<uint8_t> randomCodedStream(std::mt19937& rng, const RandomStreamShape& shape);

// Smooth, sparse and noisy float grids, deterministic for a seed.
std::vector<float> randomGrid(std::mt19937& rng, uint64_t elements);

} // namespace kortest
