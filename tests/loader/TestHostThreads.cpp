// SPDX-License-Identifier: Apache-2.0
// Host threads opening, reading and releasing shared frames at random while the pool is
// resized under them, as renderers do. The frames decode through zone jobs, bit-plane
// particle jobs and bounds jobs. Short by default (KORLOADER_STRESS_SECONDS sets the
// length); the tsan and asan presets are where it earns its keep.
#include "jobs/ThreadPool.h"
#include "jobs/ThreadPoolControl.h"
#include "loader/FrameRegistry.h"
#include "tests/common/TempDirectory.h"
#include "tests/particles/ParticleBytes.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace kortest;

namespace {

constexpr int HostThreadCount = 8;
constexpr int Files = 3;
constexpr int GridX = 32;
constexpr int GridY = 32;
constexpr int GridZ = 16;
constexpr int Voxels = GridX * GridY * GridZ;
constexpr int Zones = 4;
constexpr int Particles = 1000;
// Two mappings per file: the same path under another mapping is another frame.
const char* const Mappings[] = {nullptr, "1,unused;"};
constexpr int Keys = Files * 2;

float smokeAt(int file, int voxel) {
    return float(file * 100000 + voxel);
}

// Smoke as a container of z-slabs, so that it decodes in zone jobs on the pool.
std::string smokeContainer(int file) {
    constexpr int slabVoxels = Voxels / Zones;
    KorBytes tables;
    tables.u16(0xFC02).u16(Zones);
    std::string streams;
    std::vector<uint32_t> inputOffsets;
    for (int zone = 0; zone < Zones; ++zone) {
        tables.u32(uint32_t(zone * slabVoxels));
        std::vector<float> slab(slabVoxels);
        for (int i = 0; i < slabVoxels; ++i) {
            slab[size_t(i)] = smokeAt(file, zone * slabVoxels + i);
        }
        inputOffsets.push_back(uint32_t(streams.size()));
        streams += rawStream(slab);
    }
    for (const uint32_t offset : inputOffsets) {
        tables.u32(offset);
    }
    return tables.bytes() + streams;
}

// Velocity (3, 4, 12) everywhere, so that the derived speed is 13. The last file keeps its
// particles in a legacy section without stored bounds, so loading it runs the bounds jobs;
// the others in a chunk whose positions decode in bit-plane jobs.
const char* groupName(int file) {
    return file == Files - 1 ? "legacy" : "bits";
}

std::string frameBytes(int file) {
    const std::string positions = floatBytes(samplePositions(Particles));
    const std::string table = gridRecord(FluxaEnum::Smoke, smokeContainer(file)) +
                              gridRecord(FluxaEnum::VelocityX, constantStream(Voxels, 3.0f)) +
                              gridRecord(FluxaEnum::VelocityY, constantStream(Voxels, 4.0f)) +
                              gridRecord(FluxaEnum::VelocityZ, constantStream(Voxels, 12.0f));
    const std::string grid = gridTag(GridX, GridY, GridZ, table);
    if (file == Files - 1) {
        return particleFile(
            legacySection(7, {{groupName(file), Particles, {{0, positions}}, ""}}) + grid, "");
    }
    const std::string bitPlanes = bitPlaneBytes(positions, 3);
    return particleFile(
        grid, korChunk(1002, particleChunkBody(
                                 {{groupName(file), 0, Particles, 0, {{0, 4, bitPlanes}}}})));
}

int threadsInProcess() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    return count;
}

int registeredCount() {
    const std::lock_guard<std::mutex> lock(FluxaFrame::registryMutex());
    return FluxaFrame::registeredFrames().Count();
}

struct Tally {
    long opens = 0;
    long reads = 0;
    long particleReads = 0;
    long poolChanges = 0;
};

class HostThreads : public ::testing::Test {
protected:
    void SetUp() override {
        // Sanitizer runtimes start a helper thread along with the first thread of a process.
        std::thread([] {}).join();
        threadsBefore = threadsInProcess();
        for (int file = 0; file < Files; ++file) {
            paths.push_back(
                directory.Write("frame" + std::to_string(file) + ".kor", frameBytes(file)));
        }
        expectedPositions = samplePositions(Particles);
    }

    IKor* open(int key) {
        const char* const path = paths[size_t(key / 2)].c_str();
        const char* const mapping = Mappings[key % 2];
        return mapping == nullptr ? newIKor(path) : newIKorWithChannelsMapping(path, mapping);
    }

    // Reads one random value of each kind; false on any wrong answer.
    bool readsBack(IKor* frame, int key, std::mt19937& random, Tally& tally) {
        const int voxel = int(random() % Voxels);
        const float* smoke = frame->getChannel(FluxaEnum::Smoke);
        const float* speed = frame->getChannel(FluxaEnum::Speed);
        tally.reads += 2;
        if (smoke == nullptr || speed == nullptr || smoke[voxel] != smokeAt(key / 2, voxel) ||
            speed[voxel] != 13.0f) {
            return false;
        }
        const int particle = int(random() % Particles);
        IFluxaSimPrtGroup* particles = frame->getParticleGroupByName(groupName(key / 2));
        float position[3] = {};
        ++tally.particleReads;
        return particles != nullptr && particles->getValue(particle, 0, position) &&
               std::memcmp(position, &expectedPositions[size_t(particle) * 3], 12) == 0;
    }

    // Releases everything the test opened, then the pool; its threads must all end.
    void expectEverythingReleased(XUtils::ThreadPool& pool) {
        EXPECT_EQ(registeredCount(), 0);
        setThreadPoolThreads(pool, 0);
        int threads = threadsInProcess();
        for (int wait = 0; wait < 500 && threads > threadsBefore; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            threads = threadsInProcess();
        }
        EXPECT_EQ(threads, threadsBefore) << "pool threads outlived every frame";
    }

    TempDirectory directory;
    std::vector<std::string> paths;
    std::vector<float> expectedPositions;
    int threadsBefore = 0;
};

double stressSeconds() {
    const char* text = std::getenv("KORLOADER_STRESS_SECONDS");
    return text != nullptr ? std::atof(text) : 2.0;
}

} // namespace

TEST_F(HostThreads, ThreadsOpeningOneKeyTogetherShareOneFrame) {
    XUtils::ThreadPool pool;
    ASSERT_EQ(setThreadPoolThreads(pool, 2), 2);
    for (int round = 0; round < 8; ++round) {
        std::atomic<int> ready{0};
        IKor* seen[HostThreadCount][Keys] = {};
        std::vector<std::thread> threads;
        for (int t = 0; t < HostThreadCount; ++t) {
            threads.emplace_back([&, t] {
                ++ready;
                while (ready < HostThreadCount) {
                }
                for (int key = 0; key < Keys; ++key) {
                    seen[t][(key + t) % Keys] = open((key + t) % Keys);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(registeredCount(), Keys);
        for (int key = 0; key < Keys; ++key) {
            ASSERT_NE(seen[0][key], nullptr);
            for (int t = 1; t < HostThreadCount; ++t) {
                EXPECT_EQ(seen[t][key], seen[0][key]) << "key " << key << " round " << round;
            }
            EXPECT_EQ(static_cast<FluxaFrameData*>(seen[0][key])->refCount, HostThreadCount);
        }
        threads.clear();
        for (int t = 0; t < HostThreadCount; ++t) {
            threads.emplace_back([&, t] {
                for (IKor* frame : seen[t]) {
                    deleteIKor(frame);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    expectEverythingReleased(pool);
}

TEST_F(HostThreads, RandomOpenReadReleaseWhileThePoolChanges) {
    XUtils::ThreadPool pool;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::duration<double>(stressSeconds());
    std::atomic<int> wrong{0};
    std::vector<Tally> tallies(HostThreadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < HostThreadCount; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(unsigned(t) * 7919u + 1u);
            std::vector<std::pair<int, IKor*>> held;
            Tally& tally = tallies[size_t(t)];
            while (std::chrono::steady_clock::now() < deadline) {
                const unsigned action = random() % 16;
                if (action < 4 && held.size() < 4) {
                    const int key = int(random() % Keys);
                    IKor* frame = open(key);
                    ++tally.opens;
                    for (const auto& [heldKey, heldFrame] : held) {
                        wrong += heldKey == key && heldFrame != frame;
                    }
                    if (frame == nullptr) {
                        ++wrong;
                    } else {
                        held.emplace_back(key, frame);
                    }
                } else if (action < 13 && !held.empty()) {
                    const auto& [key, frame] = held[random() % held.size()];
                    wrong += !readsBack(frame, key, random, tally);
                } else if (action == 13 && t < 2) {
                    setThreadPoolThreads(pool, int(random() % 3));
                    ++tally.poolChanges;
                } else if (!held.empty()) {
                    const size_t at = random() % held.size();
                    deleteIKor(held[at].second);
                    held.erase(held.begin() + long(at));
                }
            }
            for (const auto& entry : held) {
                deleteIKor(entry.second);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Tally total;
    for (const Tally& tally : tallies) {
        total.opens += tally.opens;
        total.reads += tally.reads;
        total.particleReads += tally.particleReads;
        total.poolChanges += tally.poolChanges;
    }
    std::printf("%d host threads, %.1f s: %ld opens, %ld channel reads, %ld particle reads, "
                "%ld pool changes\n",
                HostThreadCount, seconds, total.opens, total.reads, total.particleReads,
                total.poolChanges);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(total.opens, 0);
    expectEverythingReleased(pool);
}
