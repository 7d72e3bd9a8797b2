// SPDX-License-Identifier: Apache-2.0
// The job set that bounds a group's positions and counts its bad ones. The frame makes
// one and keeps it for every group it bounds.
#pragma once

#include "frame/FluxaFrameData.h"
#include "jobs/MTJobs.h"
#include "support/iArray.h"

#include <cstdint>

// Fields:
//   group    the group being bounded; its positions are decoded before the jobs run
//   results  one per job: its box (from 1e20 / -1e20) and its count of bad positions
class MTComputeParticlesBbox : public MTJobs {
public:
    struct Box {
        float min[3];
        float max[3];
        int64_t bad;
    };

    // Widens the frame's particle bounds by the group's good positions and logs the bad
    // ones. A group with particles but no positions is left out.
    void Bound(FluxaFrameData& frame, FluxaFrameData::PGroup& target);

    void JobProc(Job* job) override;
    const char* GetName() const override { return "MTComputeParticlesBbox"; }

    FluxaFrameData::PGroup* group = nullptr;
    iArray<Box> results;
};
