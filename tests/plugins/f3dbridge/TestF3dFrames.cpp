// SPDX-License-Identifier: Apache-2.0
// Frames built from several fields: the box is the union of their data windows in the
// first field's voxel space, fields of another voxel space are resampled, and for each
// slot the first mapping naming a readable field wins.
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"
#include "tests/plugins/f3dbridge/F3dTestSupport.h"
#include "tests/plugins/f3dbridge/F3dTestWriter.h"

#include <cmath>
#include <gtest/gtest.h>

using f3dtest::importF3d;
using f3dtest::samplePath;

TEST(F3dFrames, BoxIsTheUnionOfTheMappedDataWindows) {
    const f3dtest::Imported imported = importF3d(
        samplePath("dense_scalar.f3d"), {{"density", 2}, {"temperature", 1}, {"fuel", 10}});
    ASSERT_EQ(imported.result, F3dResult::Ok);
    const FluxaFrameData& frame = *imported.frame;
    EXPECT_EQ(frame.channelMask, (1u << 1) | (1u << 2) | (1u << 10));
    // fuel's padded window (-1,-1,-1)-(24,20,16) holds the others.
    EXPECT_EQ(frame.gridSize[0], 26);
    EXPECT_EQ(frame.gridSize[1], 22);
    EXPECT_EQ(frame.gridSize[2], 18);
    // Centre of voxel (-1,-1,-1); the axes are the voxel size along x, y and z.
    const float expected[12] = {0.1f, 0, 0, 0, 0.1f, 0, 0, 0, 0.1f, -1.3f, 0.45f, 2.95f};
    for (int i = 0; i < 12; ++i) {
        EXPECT_NEAR(frame.transform[i], expected[i], 1e-6) << i;
    }
    // Field voxel v sits at frame voxel v + 1.
    EXPECT_EQ(frame.channelData[2][imported.index(12, 10, 8)], 70911.0f);
    EXPECT_EQ(frame.channelData[2][imported.index(0, 0, 0)], 0.0f);
    EXPECT_EQ(frame.channelData[1][imported.index(12, 10, 9)], 40755.5f);
    EXPECT_EQ(frame.channelData[1][imported.index(1, 1, 1)], 0.0f) << "outside its window";
    EXPECT_EQ(frame.channelData[10][imported.index(0, 0, 0)], 2525.25f);
    EXPECT_EQ(frame.channelData[10][imported.index(25, 21, 17)], -40506.0f);
}

TEST(F3dFrames, FieldOfAnotherResolutionIsResampledTrilinearly) {
    // smoke.1/temperature has half the resolution of smoke.0/density over the same box.
    const f3dtest::Imported imported =
        importF3d(samplePath("mixed.f3d"), {{"density", 2}, {"temperature", 1}});
    ASSERT_EQ(imported.result, F3dResult::Ok);
    EXPECT_EQ(imported.frame->gridSize[0], 20);
    EXPECT_EQ(imported.frame->gridSize[1], 16);
    EXPECT_EQ(imported.frame->gridSize[2], 12);
    // Frame voxel 2i+1 has its centre a quarter of a coarse voxel past coarse centre i;
    // the field is linear, so interpolation reproduces its formula there.
    for (const int i : {0, 2, 7}) {
        for (const int k : {0, 3, 4}) {
            const double a = (i + 0.25) + 100.0 * (1 + 0.25) + 10000.0 * (k + 0.25);
            const float value =
                imported.frame->channelData[1][imported.index(2 * i + 1, 3, 2 * k + 1)];
            EXPECT_NEAR(value, 0.5 * a + 300.0, 1e-2) << i << " " << k;
        }
    }
    // Beyond the last coarse centre the value is clamped to it, not faded out.
    EXPECT_EQ(imported.frame->channelData[1][imported.index(19, 15, 11)], 25654.5f);
}

TEST(F3dFrames, FirstReadableMappingOfASlotWins) {
    kortest::CapturedLog log;
    const f3dtest::Imported imported =
        importF3d(samplePath("dense_scalar.f3d"), {{"absent", 2},
                                                   {"temperature", 2},
                                                   {"density", 2},
                                                   {"density", 18},
                                                   {"density", 32},
                                                   {"density", -1},
                                                   {"fuel", 0}});
    ASSERT_EQ(imported.result, F3dResult::Ok);
    EXPECT_EQ(imported.frame->channelMask, (1u << 0) | (1u << 2));
    // temperature, the first field found, also fixes the box: its window plus fuel's.
    EXPECT_EQ(imported.frame->gridSize[0], 26);
    EXPECT_EQ(imported.frame->channelData[2][imported.index(3, 2, 4)], 15351.0f);
    EXPECT_NE(log.Text().find("ignoring the mapping of density to channel 18"), std::string::npos);
    EXPECT_NE(log.Text().find("ignoring the mapping of density to channel 32"), std::string::npos);
}

TEST(F3dFrames, ComponentSuffixMatchesInEitherCaseButLayerNamesDoNot) {
    const f3dtest::Imported imported =
        importF3d(samplePath("dense_vector.f3d"),
                  {{"velocity(X)", 4}, {"velocity(y)", 5}, {"Velocity(z)", 6}});
    ASSERT_EQ(imported.result, F3dResult::Ok);
    EXPECT_EQ(imported.frame->channelMask, (1u << 4) | (1u << 5));
    EXPECT_EQ(imported.frame->channelData[5][imported.index(1, 0, 0)], 2.5f);
}

TEST(F3dFrames, PartitionQualifiedNamesSelectAmongEqualLayerNames) {
    const std::string path = samplePath("edge_cases.f3d");
    // Voxel (1,0,0) holds 1 in moving/ and nomap/, -1 in null/.
    const f3dtest::Imported bare = importF3d(path, {{"density", 2}});
    const f3dtest::Imported null = importF3d(path, {{"null/density", 2}});
    ASSERT_EQ(bare.result, F3dResult::Ok);
    ASSERT_EQ(null.result, F3dResult::Ok);
    EXPECT_EQ(bare.frame->channelData[2][1], 1.0f);
    EXPECT_EQ(null.frame->channelData[2][1], -1.0f);
}

TEST(F3dFrames, NoReadableMappedFieldIsRefused) {
    kortest::CapturedLog log;
    const f3dtest::Imported imported =
        importF3d(samplePath("dense_scalar.f3d"), {{"smoke", 2}, {"velocity(x)", 4}});
    EXPECT_EQ(imported.result, F3dResult::NoMappedField);
    EXPECT_EQ(imported.frame->channelMask, 0u);
    EXPECT_NE(log.Text().find("no mapped field can be read from"), std::string::npos);
    EXPECT_EQ(importF3d(samplePath("dense_scalar.f3d"), {}).result, F3dResult::NoMappedField);
}

TEST(F3dFrames, LayerRepeatedWithinAPartitionIsQualifiedByItsGroup) {
    f3dtest::LayerSpec coarse;
    coarse.data.assign(64, 1.0f);
    f3dtest::LayerSpec fine = coarse;
    fine.partitionGroup = "fluid.1";
    fine.extents = {0, 0, 0, 7, 7, 7};
    fine.dataWindow = fine.extents;
    fine.data.assign(512, 2.0f);
    f3dtest::LayerSpec other = coarse;
    other.partitionGroup = "smoke.0";
    const kortest::TempDirectory directory;
    const std::string path = directory.File("groups.f3d");
    f3dtest::writeF3dTestFile(path, {coarse, fine, other});
    const std::vector<std::pair<std::string, bool>> expected = {{"density", false},
                                                                {"fluid.0/density", false},
                                                                {"fluid.1/density", false},
                                                                {"smoke/density", false}};
    EXPECT_EQ(f3dtest::listChannels(path), expected);
    const f3dtest::Imported imported = importF3d(path, {{"fluid.1/density", 2}});
    ASSERT_EQ(imported.result, F3dResult::Ok);
    EXPECT_EQ(imported.frame->gridSize[0], 8);
    EXPECT_EQ(imported.frame->channelData[2][0], 2.0f);
}
