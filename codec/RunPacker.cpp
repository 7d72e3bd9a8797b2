// SPDX-License-Identifier: Apache-2.0
#include "codec/RunPacker.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t LiteralBlock = 8;

// Whether any of values[0..LiteralBlock) equals its successor (values[LiteralBlock] included).
bool hasEqualNeighbours(const int32_t* values) {
    uint32_t equal = 0;
    for (uint64_t t = 0; t < LiteralBlock; ++t) {
        equal |= values[t] == values[t + 1] ? 1u : 0u;
    }
    return equal != 0;
}

// Whether values[0..LiteralBlock) all equal value.
bool allEqual(const int32_t* values, int32_t value) {
    uint32_t equal = 1;
    for (uint64_t t = 0; t < LiteralBlock; ++t) {
        equal &= values[t] == value ? 1u : 0u;
    }
    return equal != 0;
}

} // namespace

void RunPacker::Feed(const int32_t* values, uint64_t count) {
    // The state lives in locals here: stores through out could otherwise alias it.
    int32_t* const items = out;
    uint64_t at = written;
    int32_t value = last;
    uint64_t equal = repeats;
    for (uint64_t i = 0; i < count;) {
        if (open && values[i] == value) {
            // Runs are taken a block at a time too.
            ++equal;
            ++i;
            while (count - i >= LiteralBlock && allEqual(values + i, value)) {
                equal += LiteralBlock;
                i += LiteralBlock;
            }
            continue;
        }
        if (equal != 0) {
            written = at;
            last = value;
            repeats = equal;
            CloseGroup();
            at = written;
            equal = 0;
        }
        value = values[i++];
        items[at++] = value;
        open = true;
        // Stretches where no value equals the next are all literals: taken a block at a
        // time. The block's last value opens the next group.
        while (count - i > LiteralBlock && values[i] != value && !hasEqualNeighbours(values + i)) {
            int32_t block[LiteralBlock];
            std::memcpy(block, values + i, sizeof block);
            std::memcpy(items + at, block, sizeof block);
            at += LiteralBlock;
            i += LiteralBlock;
            value = block[LiteralBlock - 1];
        }
    }
    written = at;
    last = value;
    repeats = equal;
}

uint64_t RunPacker::Finish() {
    CloseGroup();
    open = false;
    return written;
}

void RunPacker::CloseGroup() {
    while (repeats >= foldedRun) {
        // A marker at its most negative closes the run, so run lengths stay within
        // 2^31 - 1; the next equal value is written as a literal and opens a new run.
        const uint64_t marked = std::min<uint64_t>(repeats, INT32_MAX);
        WriteMarker(marked);
        repeats -= marked;
        if (repeats == 0) {
            return;
        }
        out[written++] = last;
        --repeats;
    }
    for (; repeats > 0; --repeats) {
        out[written++] = last;
    }
}

void RunPacker::WriteMarker(uint64_t length) {
    const int32_t marker = -static_cast<int32_t>(length);
    lowestMarker = std::min(lowestMarker, marker);
    if (markers != nullptr && !markers->Append(static_cast<int64_t>(written))) {
        failed = true;
    }
    out[written++] = marker;
}
