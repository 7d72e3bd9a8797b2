// SPDX-License-Identifier: Apache-2.0
// Many threads on one frame: each slot is decoded once and every thread gets its array.
// Meant for the tsan preset as much as for the plain build.
#include "codec/ZoneEncoder.h"
#include "frame/FluxaFrameData.h"
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "tests/frame/FrameFixtures.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using namespace kortest;

TEST(FrameConcurrency, EverySlotDecodedOnceWhateverTheOrder) {
    constexpr int Threads = 8;
    constexpr int Voxels = 4096;
    std::vector<uint8_t> packed(Voxels * 4);
    for (size_t i = 0; i < packed.size(); ++i) {
        packed[i] = uint8_t(i * 31);
    }
    const std::string table =
        gridRecord(1, constantStream(Voxels, 1.0f)) + gridRecord(2, constantStream(Voxels, 2.0f)) +
        gridRecord(4, constantStream(Voxels, 3.0f)) + gridRecord(5, constantStream(Voxels, 4.0f)) +
        gridRecord(6, constantStream(Voxels, 12.0f)) + gridRecord(18, packedColourPayload(packed));
    const int channels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 18};
    for (int round = 0; round < 20; ++round) {
        FluxaFrameData frame;
        giveRecords(frame, 16, 16, 16, table);
        std::atomic<int> ready{0};
        std::vector<std::vector<const float*>> seen(Threads);
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&, t] {
                ++ready;
                while (ready < Threads) {
                }
                for (size_t i = 0; i < std::size(channels); ++i) {
                    // Half the threads walk the slots backwards, so requests cross.
                    const size_t at = t % 2 ? std::size(channels) - 1 - i : i;
                    seen[t].push_back(frame.getChannel(channels[at]));
                }
                if (t % 2) {
                    std::reverse(seen[t].begin(), seen[t].end());
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int t = 0; t < Threads; ++t) {
            EXPECT_EQ(seen[t], seen[0]) << "thread " << t << " round " << round;
        }
        EXPECT_EQ(seen[0][2][0], 13.0f) << "speed of (3, 4, 12)";
        EXPECT_EQ(seen[0][6][1], float(packed[6]) / 255.0f);
        EXPECT_EQ(seen[0].back(), nullptr) << "the packed slot is never served";
        for (int i = 0; i < 9; ++i) {
            EXPECT_NE(seen[0][size_t(i)], nullptr) << channels[i];
        }
    }
}

// Host threads racing for the channels of one frame while its zone containers decode on
// the pool: the channel locks hand each slot to one decoder (slot 3 holding 4, 5 and 6 in
// turn) while the job events hand the zones to the pool's threads and back.
TEST(FrameConcurrency, ZonesDecodeOnThePoolWhileHostThreadsRace) {
    constexpr int Threads = 6;
    const int32_t extents[3] = {24, 16, 12};
    const size_t voxels = size_t(extents[0]) * extents[1] * extents[2];
    std::string table;
    for (const int channel : {2, 4, 5, 6}) {
        std::vector<float> values(voxels);
        for (size_t v = 0; v < voxels; ++v) {
            values[v] = float((v * 2654435761u + uint32_t(channel)) % 1024) / 64.0f - 8.0f;
        }
        SGCompressor<3> compressor;
        const uint64_t bytes = compressZones(compressor, values.data(), extents, 14, 0.0f, 1, 4);
        ASSERT_GT(bytes, 0u);
        table += gridRecord(
            channel, std::string(reinterpret_cast<const char*>(compressor.OutputData()), bytes));
    }
    const int channels[] = {2, 3, 4, 5, 6};
    FluxaFrameData reference;
    giveRecords(reference, extents[0], extents[1], extents[2], table);
    for (const int channel : channels) {
        ASSERT_NE(reference.getChannel(channel), nullptr) << channel;
    }

    XUtils::ThreadPool pool;
    ASSERT_EQ(setThreadPoolThreads(pool, 2), 2);
    for (int round = 0; round < 6; ++round) {
        FluxaFrameData frame;
        giveRecords(frame, extents[0], extents[1], extents[2], table);
        std::vector<std::vector<const float*>> seen(Threads);
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&, t] {
                for (size_t i = 0; i < std::size(channels); ++i) {
                    seen[t].push_back(frame.getChannel(channels[(i + size_t(t)) % 5]));
                }
                std::rotate(seen[t].rbegin(), seen[t].rbegin() + t % 5, seen[t].rend());
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int t = 0; t < Threads; ++t) {
            EXPECT_EQ(seen[t], seen[0]) << "thread " << t << " round " << round;
        }
        for (size_t i = 0; i < std::size(channels); ++i) {
            ASSERT_NE(seen[0][i], nullptr) << channels[i];
            EXPECT_EQ(std::memcmp(seen[0][i], reference.getChannel(channels[i]), voxels * 4), 0)
                << channels[i];
        }
    }
    setThreadPoolThreads(pool, 0);
}

// Speed on a pool: the components decode in parallel and the magnitudes in slices, with
// the very values of the single-precision formula; a missing component still stops the
// request before the others are decoded.
TEST(FrameConcurrency, SpeedOnThePoolMatchesTheFormulaAndStopsAtAMissingComponent) {
    constexpr int Voxels = 1001;
    std::vector<float> velocity[3];
    std::string table;
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < Voxels; ++v) {
            velocity[c].push_back(float((v * 7919 + c * 104729) % 2003) / 97.0f - 10.0f);
        }
        table += gridRecord(4 + c, rawStream(velocity[c]));
    }
    XUtils::ThreadPool pool;
    ASSERT_EQ(setThreadPoolThreads(pool, 2), 2);
    FluxaFrameData frame;
    giveRecords(frame, Voxels, 1, 1, table);
    const float* speed = frame.getChannel(FluxaEnum::Speed);
    ASSERT_NE(speed, nullptr);
    for (int v = 0; v < Voxels; ++v) {
        const float x = velocity[0][v], y = velocity[1][v], z = velocity[2][v];
        const float xx = x * x, yy = y * y, zz = z * z;
        const float sum = xx + yy;
        ASSERT_EQ(speed[v], std::sqrt(sum + zz)) << v;
    }
    for (int c = 0; c < 3; ++c) {
        EXPECT_NE(frame.channelData[4 + c], nullptr) << "components stay decoded";
    }

    FluxaFrameData partial;
    giveRecords(partial, Voxels, 1, 1,
                gridRecord(4, rawStream(velocity[0])) + gridRecord(6, rawStream(velocity[2])));
    EXPECT_EQ(partial.getChannel(FluxaEnum::Speed), nullptr);
    EXPECT_EQ(partial.channelData[6], nullptr);
    setThreadPoolThreads(pool, 0);
}
