// SPDX-License-Identifier: Apache-2.0
// Frames written by the module's export and read back by its import come back equal:
// grid size, transform and every value, with the orientation flag saying "ours".
#include "plugins/vdbbridge/VdbChannelNames.h"
#include "plugins/vdbbridge/VdbFrameExport.h"
#include "plugins/vdbbridge/VdbResults.h"
#include "support/NewArray.h"
#include "tests/common/TempDirectory.h"
#include "tests/plugins/vdbbridge/VdbTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

using vdbtest::importVdb;

void fillChannel(FluxaFrameData& frame, int slot, std::mt19937& random) {
    const int64_t voxels = int64_t(frame.gridSize[0]) * frame.gridSize[1] * frame.gridSize[2];
    ASSERT_TRUE(newArray(frame.channelData[slot], uint64_t(voxels)));
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    for (int64_t v = 0; v < voxels; ++v) {
        // Runs of zeros, stored as inactive voxels, between arbitrary floats.
        frame.channelData[slot][v] = (v / 7) % 3 == 0 ? 0.0f : value(random);
    }
    frame.channelMask |= 1u << slot;
}

std::string mappingFor(const std::vector<int>& slots) {
    std::string mapping;
    for (const int slot : slots) {
        mapping += std::to_string(slot) + "," + vdbbridge::exportGridName(slot) + ";";
    }
    return mapping;
}

void expectSameFrame(const FluxaFrameData& written, const FluxaFrameData& read,
                     const std::vector<int>& slots) {
    ASSERT_EQ(std::memcmp(read.gridSize, written.gridSize, sizeof written.gridSize), 0);
    for (int f = 0; f < 12; ++f) {
        EXPECT_EQ(read.transform[f], written.transform[f]) << "transform float " << f;
    }
    const int64_t voxels = int64_t(written.gridSize[0]) * written.gridSize[1] * written.gridSize[2];
    for (const int slot : slots) {
        ASSERT_NE(read.channelData[slot], nullptr) << slot;
        for (int64_t v = 0; v < voxels; ++v) {
            ASSERT_EQ(read.channelData[slot][v], written.channelData[slot][v])
                << "slot " << slot << " voxel " << v;
        }
    }
}

TEST(VdbExport, ExportedFrameImportsBackEqual) {
    const kortest::TempDirectory temp;
    FluxaFrameData frame;
    frame.gridSize[0] = 9;
    frame.gridSize[1] = 7;
    frame.gridSize[2] = 5;
    // A rotated, anisotropic, translated frame.
    const float transform[12] = {0.08f, 0.05f,  0.0f,   -0.05f, 0.08f,  0.01f,
                                 0.0f,  -0.02f, 0.125f, 1.5f,   -0.75f, 0.25f};
    std::memcpy(frame.transform, transform, sizeof transform);
    std::mt19937 random(7);
    const std::vector<int> slots = {1, 2, 4, 5, 6, 11, 21};
    for (const int slot : slots) {
        fillChannel(frame, slot, random);
    }
    const std::string path = temp.File("frame.vdb");
    ASSERT_EQ(vdbbridge::exportFrame(path.c_str(), frame), 0);

    // Speed, derived from the velocity, stays out of the file.
    std::vector<std::string> names;
    for (const auto& channel : vdbbridge::listChannels(vdbbridge::readFileInfo(path).grids)) {
        names.push_back(channel.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Temperature_flx", "Smoke_flx", "VelocityX_flx",
                                               "VelocityY_flx", "VelocityZ_flx", "Channel11_flx",
                                               "TextureW_flx"}));

    const auto import = importVdb(path, mappingFor(slots));
    ASSERT_EQ(import.result, 0);
    EXPECT_EQ(import.orientation, 1);
    expectSameFrame(frame, *import.frame, slots);
}

TEST(VdbExport, ImportedSampleSurvivesExportAndImport) {
    const kortest::TempDirectory temp;
    const auto sample = importVdb(vdbtest::samplePath("vdb/smoke_affine.vdb"),
                                  "2,density;1,temperature;10,fuel;4,vel(x);5,vel(y);6,vel(z);");
    ASSERT_EQ(sample.result, 0);
    EXPECT_EQ(sample.orientation, 0);
    const std::string path = temp.File("again.vdb");
    ASSERT_EQ(vdbbridge::exportFrame(path.c_str(), *sample.frame), 0);
    const std::vector<int> slots = {1, 2, 4, 5, 6, 10};
    const auto again = importVdb(path, mappingFor(slots));
    ASSERT_EQ(again.result, 0);
    expectSameFrame(*sample.frame, *again.frame, slots);
}

TEST(VdbExport, FramesThatCannotBeWrittenAreRefused) {
    const kortest::TempDirectory temp;
    FluxaFrameData frame;
    frame.gridSize[0] = frame.gridSize[1] = frame.gridSize[2] = 2;
    std::mt19937 random(3);
    fillChannel(frame, 2, random);
    EXPECT_EQ(vdbbridge::exportFrame(temp.File("no/such/dir/frame.vdb").c_str(), frame),
              vdbbridge::VdbWriteFailed);
    std::memset(frame.transform, 0, sizeof frame.transform);
    EXPECT_EQ(vdbbridge::exportFrame(temp.File("singular.vdb").c_str(), frame),
              vdbbridge::VdbWriteFailed);
    frame.gridSize[0] = -1;
    EXPECT_EQ(vdbbridge::exportFrame(temp.File("negative.vdb").c_str(), frame),
              vdbbridge::VdbBadArguments);
}

} // namespace
