// SPDX-License-Identifier: Apache-2.0
#include "codec/SGCompressor.h"
#include "frame/FluxaFrameData.h"
#include "particles/PGroup.h"
#include "tests/common/CapturedOutput.h"
#include "tests/frame/FrameFixtures.h"

#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace kortest;

TEST(FrameData, NewFrameIsEmpty) {
    FluxaFrameData frame;
    int size[3] = {1, 1, 1};
    frame.getGridSize(size);
    EXPECT_EQ(size[0] + size[1] + size[2], 0);
    float transform[12];
    frame.getTransform(transform);
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(transform, identity, sizeof identity), 0);
    EXPECT_EQ(frame.getParticleGroupCount(), 0);
    EXPECT_EQ(frame.frameNumber, INT32_MIN);
    EXPECT_EQ(frame.extraTransforms[2][8], 1.0f);
    EXPECT_EQ(frame.extraTransforms[0][0], 0.0f);
    for (int c = -1; c <= 32; ++c) {
        EXPECT_EQ(frame.getChannel(c), nullptr) << c;
        EXPECT_EQ(frame.hasChannel(c), 0) << c;
    }
}

TEST(FrameData, DecodesOnFirstRequestAndKeepsTheArray) {
    FluxaFrameData frame;
    giveRecords(frame, 2, 2, 1,
                gridRecord(2, constantStream(4, 0.5f)) + gridRecord(1, rawStream({1, 2, NAN, 4})));
    const float* smoke = frame.getChannel(FluxaEnum::Smoke);
    ASSERT_NE(smoke, nullptr);
    for (int v = 0; v < 4; ++v) {
        EXPECT_EQ(smoke[v], 0.5f);
    }
    EXPECT_EQ(frame.getChannel(FluxaEnum::Smoke), smoke);
    const float* temperature = frame.getChannel(FluxaEnum::Temperature);
    ASSERT_NE(temperature, nullptr);
    EXPECT_TRUE(std::isnan(temperature[2]));
    EXPECT_EQ(temperature[3], 4.0f);
    // A record without its mask bit is served; a mask bit without a record is not.
    EXPECT_EQ(frame.hasChannel(FluxaEnum::Smoke), 0);
    frame.channelMask = 1u << FluxaEnum::Fuel;
    EXPECT_EQ(frame.hasChannel(FluxaEnum::Fuel), 1);
    EXPECT_EQ(frame.getChannel(FluxaEnum::Fuel), nullptr);
}

TEST(FrameData, CodedChannelMatchesTheCodec) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> values(-3.0f, 5.0f);
    std::vector<float> grid(5 * 4 * 3);
    for (float& value : grid) {
        value = values(random);
    }
    SGCompressor<3> encoder;
    const int32_t extents[3] = {5, 4, 3};
    const uint64_t streamBytes = encoder.Compress(grid.data(), extents, 12, 0.0f, 1);
    ASSERT_GT(streamBytes, 0u);
    const std::string stream(reinterpret_cast<const char*>(encoder.OutputData()), streamBytes);
    std::vector<float> expected(grid.size() + 4);
    SGCompressor<3> reference;
    ASSERT_EQ(
        reference.Decompress(stream.data(), expected.data(), false, stream.size(), expected.size()),
        1);

    FluxaFrameData frame;
    giveRecords(frame, 5, 4, 3, gridRecord(FluxaEnum::Smoke, stream));
    const float* smoke = frame.getChannel(FluxaEnum::Smoke);
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(std::memcmp(smoke, expected.data(), grid.size() * 4), 0);
}

TEST(FrameData, RefusedRecordsLogEveryTime) {
    const struct {
        const char* label;
        int channel;
        std::string table;
    } rows[] = {
        {"unknown magic", 2, gridRecord(2, KorBytes().u16(0xFC03).u8(1).u32(4).f32(1).bytes())},
        {"more elements than the grid holds", 2, gridRecord(2, constantStream(9, 1.0f))},
        {"payload past the table", 2,
         KorBytes().i32(2).i32(40).raw(constantStream(4, 1.0f)).bytes()},
        {"packed colour that is not zlib", FluxaEnum::ColorR,
         gridRecord(18, KorBytes().i64(4).raw("junk").bytes())},
        {"packed colour count beyond the payload", FluxaEnum::ColorR,
         gridRecord(18, KorBytes().i64(400).bytes())},
    };
    for (const auto& row : rows) {
        FluxaFrameData frame;
        giveRecords(frame, 2, 2, 1, row.table);
        frame.channelMask = 1u << 18;
        for (int attempt = 0; attempt < 2; ++attempt) {
            CapturedLog log;
            EXPECT_EQ(frame.getChannel(row.channel), nullptr) << row.label;
            EXPECT_NE(log.Text().find("Invalid cache file!!!\n"), std::string::npos) << row.label;
        }
    }
}

TEST(FrameData, GridTooLargeForAnyArray) {
    FluxaFrameData frame;
    // The fuzzer found this: the extents' product overflowed 64 bits before it was checked.
    giveRecords(frame, INT32_MAX, INT32_MAX, INT32_MAX, gridRecord(2, constantStream(4, 1.0f)));
    CapturedLog log;
    EXPECT_EQ(frame.getChannel(2), nullptr);
    EXPECT_EQ(frame.voxelCount(), INT64_MAX);
    frame.gridSize[1] = -1;
    EXPECT_EQ(frame.voxelCount(), 0);
}

TEST(FrameData, GridsNoHostCanIndexServeNoChannel) {
    // Before the fix smoke came back as an array of 4 floats while gx * gy * gz promised
    // three million, and a grid of 2^31 voxels was decoded into an array no int reaches.
    const int32_t grids[][3] = {{-1000, -1000, 3}, {65536, 32768, 1}};
    for (const auto& grid : grids) {
        FluxaFrameData frame;
        giveRecords(
            frame, grid[0], grid[1], grid[2],
            gridRecord(2, constantStream(4, 1.0f)) + gridRecord(4, constantStream(4, 1.0f)) +
                gridRecord(5, constantStream(4, 1.0f)) + gridRecord(6, constantStream(4, 1.0f)));
        for (int c = 0; c < 32; ++c) {
            EXPECT_EQ(frame.getChannel(c), nullptr) << grid[0] << " " << c;
        }
    }
}

TEST(FrameData, VoxelsTheStreamDoesNotStateAreZero) {
    // What the allocator hands out next often holds this; before the fix it showed through.
    delete[] new float[12]{7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    FluxaFrameData frame;
    giveRecords(frame, 8, 1, 1, gridRecord(2, constantStream(2, 5.0f)));
    const float* smoke = frame.getChannel(FluxaEnum::Smoke);
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(std::vector<float>(smoke, smoke + 12),
              (std::vector<float>{5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(FrameData, SpeedFromVelocity) {
    FluxaFrameData frame;
    giveRecords(frame, 3, 1, 1,
                gridRecord(4, rawStream({3, 0.1f, -1e20f})) +
                    gridRecord(5, rawStream({4, 0.2f, 1})) +
                    gridRecord(6, rawStream({0, 0.3f, 2})));
    frame.channelMask = 7u << 4;
    EXPECT_EQ(frame.hasChannel(FluxaEnum::Speed), 1);
    const float* speed = frame.getChannel(FluxaEnum::Speed);
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed[0], 5.0f);
    const float x = 0.1f, y = 0.2f, z = 0.3f;
    const float xx = x * x, yy = y * y, zz = z * z;
    const float sum = xx + yy;
    EXPECT_EQ(speed[1], std::sqrt(sum + zz)) << "single precision, the additions in order";
    EXPECT_TRUE(std::isinf(speed[2]));
    EXPECT_EQ(frame.getChannel(FluxaEnum::Speed), speed);
}

TEST(FrameData, SpeedNeedsAllThreeComponents) {
    FluxaFrameData frame;
    giveRecords(frame, 1, 1, 1, gridRecord(4, rawStream({3})) + gridRecord(6, rawStream({4})));
    frame.channelMask = (1u << 4) | (1u << 6);
    EXPECT_EQ(frame.hasChannel(FluxaEnum::Speed), 0);
    EXPECT_EQ(frame.getChannel(FluxaEnum::Speed), nullptr);
}

TEST(FrameData, StoredSpeedIsServedAsStored) {
    FluxaFrameData frame;
    giveRecords(frame, 1, 1, 1,
                gridRecord(3, rawStream({42})) + gridRecord(4, rawStream({3})) +
                    gridRecord(5, rawStream({4})) + gridRecord(6, rawStream({0})));
    EXPECT_EQ(frame.getChannel(FluxaEnum::Speed)[0], 42.0f);
}

TEST(FrameData, PackedColourFillsTheThreeColourSlotsOnce) {
    FluxaFrameData frame;
    giveRecords(frame, 2, 1, 1, gridRecord(18, packedColourPayload({255, 0, 128, 7, 1, 2, 3, 4})));
    frame.channelMask = 1u << 18;
    EXPECT_EQ(frame.hasChannel(FluxaEnum::ColorR), 1);
    EXPECT_EQ(frame.hasChannel(FluxaEnum::ColorB), 1);
    EXPECT_EQ(frame.hasChannel(FluxaEnum::PackedColor), 0);
    const float* green = frame.getChannel(FluxaEnum::ColorG);
    ASSERT_NE(green, nullptr);
    const float* red = frame.getChannel(FluxaEnum::ColorR);
    const float* blue = frame.getChannel(FluxaEnum::ColorB);
    ASSERT_NE(red, nullptr);
    ASSERT_NE(blue, nullptr);
    EXPECT_EQ(red[0], 128.0f / 255.0f);
    EXPECT_EQ(green[0], 0.0f);
    EXPECT_EQ(blue[0], 1.0f);
    EXPECT_EQ(red[1], 3.0f / 255.0f);
    EXPECT_EQ(blue[1], 1.0f / 255.0f);
    // Asking for the packed slot neither serves it nor replaces arrays handed out.
    EXPECT_EQ(frame.getChannel(FluxaEnum::PackedColor), nullptr);
    EXPECT_EQ(frame.getChannel(FluxaEnum::ColorR), red);
    EXPECT_EQ(frame.channelData[FluxaEnum::PackedColor], nullptr);
}

TEST(FrameData, ReleaseAndResetRestoreDefaults) {
    FluxaFrameData frame;
    giveRecords(frame, 1, 1, 1, gridRecord(2, constantStream(1, 3.0f)));
    ASSERT_NE(frame.getChannel(2), nullptr);
    frame.channelMin[2] = 0;
    frame.note = "n";
    ASSERT_TRUE(frame.groups.SetSize(3));
    frame.releaseChannels();
    EXPECT_EQ(frame.channelData[2], nullptr);
    EXPECT_EQ(frame.channelMin[2], FLT_MAX);
    EXPECT_EQ(frame.channelMax[2], -FLT_MAX);
    frame.clearContents();
    EXPECT_EQ(frame.recordTable, nullptr);
    EXPECT_EQ(frame.recordWords, 0);
    EXPECT_EQ(frame.groups.Count(), 0);
    EXPECT_EQ(frame.groups.Capacity(), 0);
    EXPECT_TRUE(frame.note.IsEmpty());
    frame.gridSize[0] = 9;
    frame.resetHeader();
    EXPECT_EQ(frame.gridSize[0], 9) << "the grid size is not part of the header reset";
    EXPECT_EQ(frame.particleBoundsMin[1], 1e20f);
    EXPECT_EQ(frame.particleBoundsMax[1], -1e20f);
}

TEST(FrameData, ParticleGroupsWithPositions) {
    FluxaFrameData frame;
    ASSERT_TRUE(frame.groups.SetSize(3));
    const char* names[3] = {"first", "middle", "last"};
    for (int g = 0; g < 3; ++g) {
        frame.groups[g].name = names[g];
        frame.groups[g].frame = &frame;
        frame.groups[g].count = 10 + g;
    }
    frame.groups[0].channels[0].compressed.SetSize(1);
    frame.groups[2].channels[0].decoded.SetSize(1);
    EXPECT_EQ(frame.getParticleGroupCount(), 2);
    EXPECT_EQ(frame.getParticleGroup(1), &frame.groups[2]);
    EXPECT_EQ(frame.getParticleGroup(2), nullptr);
    EXPECT_EQ(frame.getParticleGroupByName("middle"), &frame.groups[1]);
    EXPECT_EQ(frame.getParticleGroupByName("Middle"), nullptr);
    EXPECT_EQ(frame.getParticleGroupByName(nullptr), nullptr);
    EXPECT_EQ(frame.groups[1].getParticleCount(), 0) << "no positions, no particles";
    EXPECT_EQ(frame.groups[2].getParticleCount(), 12);
}
