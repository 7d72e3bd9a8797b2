// SPDX-License-Identifier: Apache-2.0
// The job set that turns a bit-plane channel back into words per particle. A channel of
// w words is stored as w * 32 planes, plane (j, b) holding bit b of word j of every
// particle, 32 particles per plane word, least significant bit first.
#pragma once

#include "jobs/MTJobs.h"
#include "support/iArray.h"

#include <cstdint>

// Fields:
//   decoded  the channel's decoded array, count * 4 * w bytes; each job fills its range
//   planes   the inflated planes, ceil(count / 32) words per plane, plane (j, b) at
//            index (j * 32 + b) * ceil(count / 32)
//   channel  the particle channel, which fixes w
class PRTIN : public MTJobs {
public:
    PRTIN(iArray<char, int64_t>* target, const uint32_t* planeWords, int particleChannel)
        : decoded(target), planes(planeWords), channel(particleChannel) {}

    // Rebuilds every particle's words across the jobs. False when the jobs cannot run.
    bool Unpack(int32_t particleCount);
    const char* GetName() const override { return "MT PRTIN"; }

    iArray<char, int64_t>* decoded;
    const uint32_t* planes;
    int channel;

private:
    void UnpackRange(Job* job);
};
