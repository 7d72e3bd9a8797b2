// SPDX-License-Identifier: Apache-2.0
// The built module as the library uses it: found by its bare name, asked for the channels
// and default mappings of real caches, and filling frames through the library's import
// and export glue.
#include "foreign/ForeignImport.h"
#include "korloader/KorMappings.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/ForeignQueries.h"
#include "tests/common/TempDirectory.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string samplePath(const std::string& name) {
    return std::string(KOR_SAMPLES_DIR) + "/vdb/" + name;
}

class VdbThroughLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loaded = initalizeKoraLoader(nullptr, nullptr, 0); }

    static std::vector<std::pair<std::string, int>> channels(const std::string& path) {
        return kortest::offeredChannels(path);
    }

    static std::string defaultMapping(const std::string& path) {
        return kortest::defaultMappingOf(path);
    }

    static std::unique_ptr<FluxaFrameData> import(const std::string& path,
                                                  const std::string& mapping) {
        auto frame = std::make_unique<FluxaFrameData>();
        EXPECT_EQ(importVdbFrame(path.c_str(), frame.get(), mapping.c_str(), false), 0);
        return frame;
    }

    static float at(FluxaFrameData& frame, int slot, int i, int j, int k) {
        return frame.getChannel(slot)[i + frame.gridSize[0] * (j + frame.gridSize[1] * k)];
    }

    static int loaded;
};

int VdbThroughLibrary::loaded = 0;

TEST_F(VdbThroughLibrary, ModuleIsFoundByBareNameAndAccepted) {
    EXPECT_EQ(loaded & 2, 2);
}

// Before, the module's own copy of the log had no file, and refusals left no trace.
TEST_F(VdbThroughLibrary, ModuleMessagesReachTheHostsLog) {
    const kortest::CapturedLog log;
    auto frame = std::make_unique<FluxaFrameData>();
    const std::string broken = samplePath("../../broken/vdb-leaf-block-beyond-leaf.vdb");
    EXPECT_EQ(importVdbFrame(broken.c_str(), frame.get(), "2,density;", false), 21);
    EXPECT_NE(log.Text().find("vdbbridge: " + broken +
                              ": IoError: uncompressed value block of the wrong size"),
              std::string::npos)
        << log.Text();
}

TEST_F(VdbThroughLibrary, DefaultMappingsOfRealCaches) {
    EXPECT_EQ(defaultMapping(samplePath("blender/fluid_data_0003.vdb")),
              "2,density;1,temperature;");
    // Level sets, the int flags grid and the staggered velocity stay out of the fallback.
    EXPECT_EQ(defaultMapping(samplePath("blender/resumable/fluid_data_0003.vdb")),
              "2,density;1,temperature;10,fuel;");
    EXPECT_EQ(defaultMapping(samplePath("names_table.vdb")),
              "2,Smoke_flx;1,Temperature_flx;4,VelocityX_flx;5,VelocityY_flx;6,VelocityZ_flx;"
              "10,Fuel_flx;");
    EXPECT_EQ(defaultMapping(samplePath("split_vel.vdb")), "2,density;4,vel.x;5,vel.y;6,vel.z;");
    // heat is the first unflagged channel the table does not know.
    EXPECT_EQ(defaultMapping(samplePath("unlisted.vdb")), "2,heat;");
    EXPECT_EQ(defaultMapping(samplePath("types.vdb")), "2,density;");
}

TEST_F(VdbThroughLibrary, SequenceOffersTheUnionOfItsFramesChannels) {
    const std::vector<std::pair<std::string, int>> expected = {
        {"density", 0}, {"vel(x)", 1}, {"vel(y)", 1}, {"vel(z)", 1}, {"fuel", 0}};
    EXPECT_EQ(channels(samplePath("seq/smoke.####.vdb")), expected);
}

TEST_F(VdbThroughLibrary, MantaflowFrameOpensWithItsDefaultMapping) {
    const std::string path = samplePath("blender/fluid_data_0006.vdb");
    auto frame = import(path, defaultMapping(path));
    EXPECT_EQ(frame->recordWords, 1);
    EXPECT_EQ(frame->hasChannel(2), 1);
    EXPECT_EQ(frame->hasChannel(1), 1);
    // density and temperature share the box (1, 1, 1)..(14, 14, 13).
    EXPECT_EQ(frame->gridSize[0], 14);
    EXPECT_EQ(frame->gridSize[2], 13);
    EXPECT_FLOAT_EQ(frame->transform[0], 0.09375f);
    EXPECT_FLOAT_EQ(frame->transform[9], 0.09375f);
    ASSERT_NE(frame->getChannel(2), nullptr);
    ASSERT_NE(frame->getChannel(1), nullptr);
}

TEST_F(VdbThroughLibrary, StaggeredVelocityGivesAllThreeComponentsAndSpeed) {
    auto frame = import(samplePath("blender/fluid_data_0003.vdb"),
                        "4,velocity(x);5,velocity(y);6,velocity(z);2,density;");
    EXPECT_EQ(frame->hasChannel(3), 1);
    EXPECT_NE(frame->getChannel(3), nullptr);
}

TEST_F(VdbThroughLibrary, ExportThroughTheLibraryReadsBackEqual) {
    const kortest::TempDirectory temp;
    auto frame =
        import(samplePath("smoke.vdb"), "2,density;1,temperature;4,vel(x);5,vel(y);6,vel(z);");
    const std::string path = temp.File("exported.vdb");
    ASSERT_EQ(exportVdbFrame(path.c_str(), frame.get()), 0);
    EXPECT_EQ(defaultMapping(path),
              "1,Temperature_flx;2,Smoke_flx;4,VelocityX_flx;5,VelocityY_flx;6,VelocityZ_flx;");
    auto again = import(path, defaultMapping(path));
    const int voxels = frame->gridSize[0] * frame->gridSize[1] * frame->gridSize[2];
    for (const int slot : {1, 2, 4, 5, 6}) {
        for (int v = 0; v < voxels; v += 97) {
            ASSERT_EQ(again->getChannel(slot)[v], frame->getChannel(slot)[v]) << slot;
        }
    }
    EXPECT_EQ(at(*again, 2, 0, 0, 0), 1.0f / 32768);
}

} // namespace
