// SPDX-License-Identifier: Apache-2.0
#include "RandomStreams.h"

#include "StreamBuilder.h"

#include <algorithm>
#include <cmath>

namespace kortest {

namespace {

uint32_t pick(std::mt19937& rng, uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(rng);
}

uint32_t bitLength(uint64_t value) {
    uint32_t bits = 0;
    for (; value != 0; value >>= 1) {
        ++bits;
    }
    return bits;
}

} // namespace

RandomStreamShape randomShape(std::mt19937& rng, int axes) {
    RandomStreamShape shape;
    shape.axes = axes;
    shape.passes = pick(rng, 0, 4);
    if (axes == 1) {
        const uint32_t kind = pick(rng, 0, 9);
        shape.extents = {kind == 0 ? pick(rng, 4090, 9000) : pick(rng, 1, 400)};
        return shape;
    }
    switch (pick(rng, 0, 5)) {
    case 0: // a long thin row that crosses the span size
        shape.extents = {pick(rng, 4090, 5000), pick(rng, 1, 2), 1};
        break;
    case 1: // a column
        shape.extents = {1, pick(rng, 1, 3), pick(rng, 1, 60)};
        break;
    default:
        shape.extents = {pick(rng, 1, 13), pick(rng, 1, 11), pick(rng, 1, 9)};
        break;
    }
    return shape;
}

std::vector<uint8_t> randomCodedStream(std::mt19937& rng, const RandomStreamShape& shape) {
    StreamBuilder out;
    const float scale = std::uniform_real_distribution<float>(0.25f, 5000.0f)(rng);
    float offset = std::uniform_real_distribution<float>(-20.0f, 20.0f)(rng);
    if (pick(rng, 0, 9) == 0) {
        offset = pick(rng, 0, 1) ? 5e-21f : -5e-21f;
    }
    const int32_t base = static_cast<int32_t>(pick(rng, 0, 4000)) - 2000;
    writeCodedHeader(out, shape.extents, scale, offset, base, shape.passes);
    uint64_t elements = 1;
    for (uint32_t extent : shape.extents) {
        elements *= extent;
    }
    // Small negative biases make the lowest symbols run markers of a few copies.
    const int32_t bias = -static_cast<int32_t>(pick(rng, 0, 5));
    if (pick(rng, 0, 2) == 0) {
        const uint32_t width = pick(rng, 0, 4) == 0 ? pick(rng, 13, 32) : pick(rng, 1, 12);
        out.bits(width, 8).bits(static_cast<uint32_t>(bias), 32);
    } else {
        // Every entry of a valid table occurs among the items, so there are never more.
        const uint32_t count = static_cast<uint32_t>(
            std::min<uint64_t>(elements, pick(rng, 0, 5) == 0 ? 1 : pick(rng, 2, 60)));
        // Now and then symbols so wide that their literals miss the packed table.
        const bool wide = pick(rng, 0, 7) == 0;
        const uint32_t symbolBits = wide ? pick(rng, 26, 30) : pick(rng, bitLength(count), 16);
        const uint32_t frequencyBits = pick(rng, 1, 14);
        std::vector<uint32_t> symbols;
        for (uint32_t s = 0; s < (1u << symbolBits) && symbols.size() < count * 4; ++s) {
            symbols.push_back(wide ? pick(rng, 0, (1u << symbolBits) - 1) : s);
        }
        std::shuffle(symbols.begin(), symbols.end(), rng);
        std::vector<TableEntry> entries;
        for (uint32_t i = 0; i < count; ++i) {
            // Skewed frequencies give long codes that need the tree walk.
            const uint32_t frequency =
                pick(rng, 0, 2) == 0 ? 1 : pick(rng, 1, (1u << frequencyBits) - 1);
            entries.push_back({frequency, symbols[i]});
        }
        writeTableHeader(out, bias, frequencyBits, symbolBits, entries);
    }
    for (uint64_t i = 0; i < elements * 5 + 16; ++i) {
        out.bits(pick(rng, 0, 255), 8);
    }
    return out.data;
}

std::vector<float> randomGrid(std::mt19937& rng, uint64_t elements) {
    std::vector<float> grid(elements);
    const uint32_t kind = pick(rng, 0, 3);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    for (uint64_t e = 0; e < elements; ++e) {
        const float x = static_cast<float>(e);
        switch (kind) {
        case 0: // smooth
            grid[e] = std::sin(x * 0.05f) * 3.0f + 1.0f;
            break;
        case 1: // sparse: mostly exact zeros
            grid[e] = pick(rng, 0, 9) == 0 ? std::fabs(noise(rng)) : 0.0f;
            break;
        case 2: // noise
            grid[e] = noise(rng) * 100.0f;
            break;
        default: // steps
            grid[e] = static_cast<float>((e / 37) % 5) * 0.25f - 0.5f;
            break;
        }
    }
    return grid;
}

} // namespace kortest
