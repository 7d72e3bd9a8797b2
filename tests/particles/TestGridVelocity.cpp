// SPDX-License-Identifier: Apache-2.0
// Groups that take their velocities from the frame's velocity grids: presence through the
// frame, trilinear samples in voxel units, clamping at and beyond the border.
#include "frame/LoadResult.h"
#include "particles/PGroup.h"
#include "tests/particles/ParticleBytes.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace kortest;

namespace {

// A 3 x 2 x 2 grid whose x velocity is i + 10 j + 100 k, y twice that and z its negative,
// so that every trilinear sample has an exact expected value.
std::string velocityGrid() {
    std::vector<float> vx;
    std::vector<float> vy;
    std::vector<float> vz;
    for (int k = 0; k < 2; ++k) {
        for (int j = 0; j < 2; ++j) {
            for (int i = 0; i < 3; ++i) {
                const float value = float(i + 10 * j + 100 * k);
                vx.push_back(value);
                vy.push_back(2 * value);
                vz.push_back(-value);
            }
        }
    }
    const std::string table =
        gridRecord(4, rawStream(vx)) + gridRecord(5, rawStream(vy)) + gridRecord(6, rawStream(vz));
    return KorBytes().i32(1).u32(0x70).raw(gridTag(3, 2, 2, table)).bytes();
}

const float NaN = std::numeric_limits<float>::quiet_NaN();

const std::vector<float> Positions = {0.5f, 0.5f, 0.5f, 1.25f, 0.0f, 0.75f, -3.0f, 9.0f,
                                      0.5f, 2.0f, 0.5f, 0.0f,  NaN,  1.0f,  1.0f};
const std::vector<float> ExpectedX = {55.5f, 76.25f, 60.0f, 7.0f, 110.0f};

} // namespace

TEST(GridVelocity, GroupsWithoutVelocitiesSampleTheGrid) {
    const std::string chunks =
        korChunk(1002, particleChunkBody({{"g", 0x30000, 5, 0, {{0, 0, floatBytes(Positions)}}}}));
    FluxaFrameData frame;
    ASSERT_EQ(readParticleBytes(frame, particleFile(velocityGrid(), chunks)), LoadOk);
    FluxaFrameData::PGroup& group = frame.groups[0];
    ASSERT_TRUE(group.hasChannel(1));
    for (int i = 0; i < 5; ++i) {
        float velocity[3] = {};
        ASSERT_TRUE(group.getValue(i, 1, velocity)) << i;
        EXPECT_EQ(velocity[0], ExpectedX[size_t(i)]) << i;
        EXPECT_EQ(velocity[1], 2 * ExpectedX[size_t(i)]) << i;
        EXPECT_EQ(velocity[2], -ExpectedX[size_t(i)]) << i;
    }
}

TEST(GridVelocity, OwnVelocitiesAndOtherSourcesIgnoreTheGrid) {
    const std::string chunks = korChunk(
        1002,
        particleChunkBody(
            {{"own", 0x30000, 1, 0, {{0, 0, floatBytes({0, 0, 0})}, {1, 0, floatBytes({7, 8, 9})}}},
             {"other", 0, 1, 0, {{0, 0, floatBytes({0, 0, 0})}}}}));
    FluxaFrameData frame;
    ASSERT_EQ(readParticleBytes(frame, particleFile(velocityGrid(), chunks)), LoadOk);
    float velocity[3] = {};
    ASSERT_TRUE(frame.groups[0].getValue(0, 1, velocity));
    EXPECT_EQ(velocity[1], 8.0f);
    EXPECT_FALSE(frame.groups[1].hasChannel(1));
    EXPECT_FALSE(frame.groups[1].getValue(0, 1, velocity));
}
