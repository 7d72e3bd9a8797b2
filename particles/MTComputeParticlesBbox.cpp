// SPDX-License-Identifier: Apache-2.0
// A position is good when x + y + z is finite and below 100000 in magnitude; anything
// else is counted, not rejected, so that one stray particle does not blow up the bounds.
#include "particles/MTComputeParticlesBbox.h"

#include "particles/PGroup.h"
#include "particles/ParticleChannels.h"
#include "support/Messages.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float NoBound = 1e20f;
constexpr float FarAway = 100000.0f;

bool isGood(const float* position) {
    const float sum = position[0] + position[1] + position[2];
    return std::isfinite(sum) && std::fabs(sum) < FarAway;
}

} // namespace

void MTComputeParticlesBbox::Bound(FluxaFrameData& frame, FluxaFrameData::PGroup& target) {
    // Decoded up front, so that the jobs read the values without taking the channel lock.
    if (target.count <= 0 || !target.hasChannel(ParticleChannel::Position) ||
        !target.decompressChannel(ParticleChannel::Position, true) ||
        target.channels[ParticleChannel::Position].decoded.Count() < int64_t(target.count) * 12) {
        return;
    }
    group = &target;
    Init(-1);
    InitRange(target.count);
    const Box empty = {{NoBound, NoBound, NoBound}, {-NoBound, -NoBound, -NoBound}, 0};
    if (!results.SetSize(0) || !results.SetSize(jobCount, &empty)) {
        return;
    }
    Run(0);
    int64_t bad = 0;
    for (int32_t r = 0; r < results.Count(); ++r) {
        for (int axis = 0; axis < 3; ++axis) {
            frame.particleBoundsMin[axis] =
                std::fmin(frame.particleBoundsMin[axis], results[r].min[axis]);
            frame.particleBoundsMax[axis] =
                std::fmax(frame.particleBoundsMax[axis], results[r].max[axis]);
        }
        bad += results[r].bad;
    }
    if (bad != 0) {
        logMessage("#bad particles found in group %s, count:%d\n", target.name.Chars(),
                   static_cast<int>(bad));
    }
}

void MTComputeParticlesBbox::JobProc(Job* job) {
    Box& box = results[job->index];
    const char* positions = group->channels[ParticleChannel::Position].decoded.Data();
    for (int64_t i = job->start; i < job->end; ++i) {
        float position[3];
        std::memcpy(position, positions + i * 12, sizeof position);
        if (!isGood(position)) {
            ++box.bad;
            continue;
        }
        for (int axis = 0; axis < 3; ++axis) {
            box.min[axis] = std::fmin(box.min[axis], position[axis]);
            box.max[axis] = std::fmax(box.max[axis], position[axis]);
        }
    }
}
