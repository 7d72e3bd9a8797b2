// SPDX-License-Identifier: Apache-2.0
// The built module through its exported entry points: what they do with bad arguments and
// bad files, and that the work stays on the calling thread.
#include "foreign/PluginEntryPoints.h"
#include "platform/Platform.h"
#include "plugins/vdbbridge/VdbResults.h"
#include "tests/common/TempDirectory.h"
#include "tests/plugins/vdbbridge/VdbTestSupport.h"

#include <dirent.h>
#include <gtest/gtest.h>

namespace {

int threadCount() {
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    while (tasks != nullptr && readdir(tasks) != nullptr) {
        ++count;
    }
    if (tasks != nullptr) {
        closedir(tasks);
    }
    return count;
}

class VdbModule : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module = Platform::loadModule(KOR_VDBBRIDGE_MODULE);
        ASSERT_NE(module, nullptr);
        const auto resolve = [](const char* name) {
            return Platform::findModuleSymbol(module, name);
        };
        initialize = reinterpret_cast<InitializeFunction*>(resolve("Initialize"));
        getChannels =
            reinterpret_cast<GetAvailableChannelsFunction*>(resolve("GetAvailableChannels"));
        importFrame = reinterpret_cast<ImportFrameVDBFunction*>(resolve("ImportFrameVDB"));
        exportFrame = reinterpret_cast<ExportFrameFunction*>(resolve("ExportFrame"));
        ASSERT_NE(resolve("SetThreadManager"), nullptr);
        ASSERT_NE(resolve("ReleaseThreadManager"), nullptr);
        ASSERT_NE(initialize, nullptr);
        ASSERT_NE(getChannels, nullptr);
        ASSERT_NE(importFrame, nullptr);
        ASSERT_NE(exportFrame, nullptr);
        ASSERT_EQ(initialize(), 0);
    }

    static void* module;
    static InitializeFunction* initialize;
    static GetAvailableChannelsFunction* getChannels;
    static ImportFrameVDBFunction* importFrame;
    static ExportFrameFunction* exportFrame;
};

void* VdbModule::module = nullptr;
InitializeFunction* VdbModule::initialize = nullptr;
GetAvailableChannelsFunction* VdbModule::getChannels = nullptr;
ImportFrameVDBFunction* VdbModule::importFrame = nullptr;
ExportFrameFunction* VdbModule::exportFrame = nullptr;

TEST_F(VdbModule, ChannelsAreAppendedAndBrokenFilesAddNone) {
    const kortest::TempDirectory temp;
    CacheIO::AvailableChannelList channels;
    channels.Append(CacheIO::AvailableChannels("kept", false));
    getChannels(temp.Write("broken.vdb", "not a volume").c_str(), &channels);
    getChannels(temp.File("absent.vdb").c_str(), &channels);
    getChannels(nullptr, &channels);
    ASSERT_EQ(channels.Count(), 1);

    getChannels(vdbtest::samplePath("vdb/unlisted.vdb").c_str(), &channels);
    ASSERT_EQ(channels.Count(), 1 + 1 + 3 + 1);
    EXPECT_STREQ(channels[1].name.Chars(), "heat");
    EXPECT_FALSE(channels[1].flag);
    EXPECT_STREQ(channels[4].name.Chars(), "velocity(z)");
    EXPECT_TRUE(channels[4].flag);
    EXPECT_STREQ(channels[5].name.Chars(), "surface_sdf");
    EXPECT_TRUE(channels[5].flag);
}

TEST_F(VdbModule, BadArgumentsAreRefused) {
    FluxaFrameData frame;
    int orientation = -1;
    CacheIO::GridMapping mapping("density", 2);
    const std::string path = vdbtest::samplePath("vdb/smoke.vdb");
    EXPECT_EQ(importFrame(nullptr, &frame, &orientation, 0, &mapping, 1),
              vdbbridge::VdbBadArguments);
    EXPECT_EQ(importFrame(path.c_str(), nullptr, &orientation, 0, &mapping, 1),
              vdbbridge::VdbBadArguments);
    EXPECT_EQ(importFrame(path.c_str(), &frame, nullptr, 0, &mapping, 1),
              vdbbridge::VdbBadArguments);
    EXPECT_EQ(importFrame(path.c_str(), &frame, &orientation, 0, nullptr, 1),
              vdbbridge::VdbBadArguments);
    EXPECT_EQ(importFrame(path.c_str(), &frame, &orientation, 0, &mapping, -1),
              vdbbridge::VdbBadArguments);
    EXPECT_EQ(exportFrame(nullptr, &frame), vdbbridge::VdbBadArguments);
    EXPECT_EQ(exportFrame(path.c_str(), nullptr), vdbbridge::VdbBadArguments);
}

TEST_F(VdbModule, ImportAndExportStartNoThreads) {
    const kortest::TempDirectory temp;
    const int before = threadCount();
    FluxaFrameData frame;
    frame.resetHeader();
    int orientation = -1;
    CacheIO::GridMapping mappings[] = {{"density", 2}, {"vel(x)", 4}, {"vel(y)", 5}, {"vel(z)", 6}};
    ASSERT_EQ(importFrame(vdbtest::samplePath("vdb/smoke_affine.vdb").c_str(), &frame, &orientation,
                          0, mappings, 4),
              0);
    EXPECT_EQ(orientation, 0);
    EXPECT_EQ(frame.gridSize[0], 40);
    ASSERT_EQ(exportFrame(temp.File("out.vdb").c_str(), &frame), 0);
    EXPECT_EQ(threadCount(), before);
}

} // namespace
