// SPDX-License-Identifier: Apache-2.0
// Speed from the velocity slots. With a pool, the three components decode at once (each
// under its own slot's lock, as any request of them would) and the magnitudes are computed
// in slices; without one, in turn on the calling thread. Compiled without contraction, so
// that each product and sum rounds to float on its own, and without errno for sqrt, which
// lets the loop use the vector square root (correctly rounded like the scalar one).
#include "frame/FluxaFrameData.h"
#include "frame/RecordTable.h"
#include "jobs/MTJobs.h"
#include "support/NewArray.h"

#include <atomic>
#include <cmath>

namespace {

constexpr int Components = 3;

void computeSpeed(const float* const velocity[Components], float* speed, int64_t begin,
                  int64_t end) {
    const float* const x = velocity[0];
    const float* const y = velocity[1];
    const float* const z = velocity[2];
    for (int64_t v = begin; v < end; ++v) {
        speed[v] = std::sqrt(x[v] * x[v] + y[v] * y[v] + z[v] * z[v]);
    }
}

// Fields:
//   frame       the frame whose velocity is read
//   velocity    the component arrays, null until decoded (or when a decode failed)
//   speed       the output during FillSpeed
//   nextComponent  the component the next free job decodes
class SpeedJobs final : public MTJobs {
public:
    explicit SpeedJobs(FluxaFrameData& owner) : frame(owner) {}

    const char* GetName() const override { return "Speed"; }

    // Each job takes components until none is left, so two jobs share three evenly.
    void DecodeComponents(Job*) {
        for (int c = nextComponent.fetch_add(1); c < Components; c = nextComponent.fetch_add(1)) {
            velocity[c] = frame.getChannel(FluxaEnum::VelocityX + c);
        }
    }
    void FillSpeed(Job* job) { computeSpeed(velocity, speed, job->start, job->end); }

    FluxaFrameData& frame;
    const float* velocity[Components] = {};
    float* speed = nullptr;
    std::atomic<int> nextComponent{0};
};

} // namespace

void FluxaFrameData::deriveSpeed(int64_t voxels) {
    SpeedJobs jobs(*this);
    const int concurrent = jobs.ConcurrentJobs();
    bool recorded = concurrent > 1;
    for (int c = 0; recorded && c < Components; ++c) {
        RecordPayload payload;
        recorded = findRecord(recordTable, recordWords, FluxaEnum::VelocityX + c, payload) !=
                   RecordLookup::Missing;
    }
    // In parallel only when all three are stored, so that a missing component still stops
    // the request before the others are decoded.
    if (recorded) {
        jobs.Init(concurrent < Components ? concurrent : Components);
        jobs.RunProc(&jobs, &SpeedJobs::DecodeComponents);
    } else {
        for (int c = 0; c < Components && (c == 0 || jobs.velocity[c - 1] != nullptr); ++c) {
            jobs.velocity[c] = getChannel(FluxaEnum::VelocityX + c);
        }
    }
    const bool complete =
        jobs.velocity[0] != nullptr && jobs.velocity[1] != nullptr && jobs.velocity[2] != nullptr;
    if (!complete || !newArray(jobs.speed, uint64_t(voxels))) {
        return;
    }
    if (concurrent > 1) {
        jobs.Init(concurrent);
        jobs.InitRange(voxels);
        jobs.RunProc(&jobs, &SpeedJobs::FillSpeed);
    } else {
        computeSpeed(jobs.velocity, jobs.speed, 0, voxels);
    }
    channelData[FluxaEnum::Speed] = jobs.speed;
}
