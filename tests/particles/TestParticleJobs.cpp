// SPDX-License-Identifier: Apache-2.0
// The particle job sets with the thread pool pushed: bit-plane decode and legacy bounds
// give what the calling thread alone gives. Run under TSan as well.
#include "frame/LoadResult.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "particles/PGroup.h"
#include "tests/common/CapturedOutput.h"
#include "tests/particles/ParticleBytes.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

using namespace kortest;

namespace {

const int Count = 10007;

std::vector<float> strayPositions() {
    std::vector<float> positions = samplePositions(Count);
    for (int i = 0; i < Count; i += 1000) {
        positions[size_t(i) * 3 + 1] = std::numeric_limits<float>::quiet_NaN();
    }
    return positions;
}

struct Outcome {
    std::string values;
    std::string log;
    float bounds[6];
};

Outcome readAndDecode() {
    const std::vector<float> positions = strayPositions();
    const std::string legacy = legacySection(7, {{"g", Count, {{0, floatBytes(positions)}}, ""}});
    Outcome outcome;
    FluxaFrameData frame;
    EXPECT_EQ(readParticleBytes(frame, particleFileWithoutTrailer(legacy), &outcome.log), LoadOk);
    std::memcpy(outcome.bounds, frame.particleBoundsMin, 12);
    std::memcpy(outcome.bounds + 3, frame.particleBoundsMax, 12);
    giveGroups(frame, {Count, Count});
    storeChannel(frame.groups[1], 0, 4, bitPlaneBytes(floatBytes(positions), 3));
    outcome.values = valuesOf(frame.groups[1], 0);
    return outcome;
}

} // namespace

TEST(ParticleJobs, ThePoolGivesWhatTheCallingThreadGives) {
    CapturedDebugOutput warnings; // single-threaded job sets warn on the debugger output
    const Outcome alone = readAndDecode();
    EXPECT_EQ(alone.log, "bad particles found in group g, count:11\n");
    EXPECT_EQ(alone.values, floatBytes(strayPositions()));
    XUtils::ThreadPool pool;
    ASSERT_EQ(setThreadPoolThreads(pool, 2), 2);
    const Outcome pooled = readAndDecode();
    setThreadPoolThreads(pool, 0);
    EXPECT_EQ(pooled.log, alone.log);
    EXPECT_EQ(pooled.values, alone.values);
    EXPECT_EQ(std::memcmp(pooled.bounds, alone.bounds, sizeof alone.bounds), 0);
}

TEST(ParticleJobs, HostThreadsReadOneGroupTogether) {
    const std::vector<float> positions = samplePositions(500);
    const std::string expected = floatBytes(positions);
    FluxaFrameData frame;
    giveGroups(frame, {500});
    FluxaFrameData::PGroup& group = frame.groups[0];
    storeChannel(group, 0, 1, zlibBytes(expected));
    storeChannel(group, 4, 4, bitPlaneBytes(expected, 3));
    std::string seen[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            seen[t] = valuesOf(group, t % 2 == 0 ? 0 : 4);
            group.hasChannel(t % 2 == 0 ? 4 : 0);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& values : seen) {
        EXPECT_EQ(values, expected);
    }
}
