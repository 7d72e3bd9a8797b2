// SPDX-License-Identifier: Apache-2.0
// Processor groups that a caller may ask a job set's workers to be pinned to.
#pragma once

#include <cstdint>

// One processor group: its number, the processors in it and whether the caller chose it.
struct ProcessorGroup {
    uint16_t number;
    uint64_t processorMask;
    uint32_t processorCount;
    bool selected;
};

// groupCount entries at groups; workers are spread round-robin over the selected groups,
// or over all of them when none is selected.
struct ProcessorSet {
    const ProcessorGroup* groups;
    int32_t groupCount;
};
