// SPDX-License-Identifier: Apache-2.0
// Foreign frames as hosts open them: newIKor with the default mapping and the registry.
#include "korloader/IKor.h"
#include "korloader/KorMappings.h"
#include "tests/common/CapturedOutput.h"
#include "tests/foreign/FakePlugins.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using kortest::fakePluginDirectory;
using kortest::PluginTest;

using ForeignFrames = PluginTest;

TEST_F(ForeignFrames, NewIKorOpensForeignCachesWithTheirDefaultMapping) {
    loadGoodPlugins();
    const std::string path = directory.Write("smoke.VDB", "grid 2 1 1\nchannel density\n");
    IKor* const frame = newIKor(path.c_str());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(kortest::lastVdbImport().mappingCount, 1);
    const float* const smoke = frame->getChannel(FluxaEnum::Smoke);
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(smoke[1], 2001.0f);
    // The default mapping is the registry key.
    EXPECT_EQ(newIKorWithChannelsMapping(path.c_str(), "2,density;"), frame);
    EXPECT_NE(newIKorWithChannelsMapping(path.c_str(), "1,density;"), frame);
    deleteIKor(frame);
    deleteIKor(frame);
}

TEST_F(ForeignFrames, FramesWithoutMappingsOrPluginsAreRefused) {
    const std::string vdb = directory.Write("a.vdb", "channel density\n");
    EXPECT_EQ(newIKorWithChannelsMapping(vdb.c_str(), "2,density;"), nullptr);
    loadGoodPlugins();
    {
        const kortest::CapturedLog log;
        EXPECT_EQ(newIKorWithChannelsMapping(vdb.c_str(), ""), nullptr);
        EXPECT_EQ(newIKorWithChannelsMapping(vdb.c_str(), nullptr), nullptr);
        EXPECT_NE(log.Text().find("Trying to import VDB files with no mappings specified!\n"),
                  std::string::npos);
    }
    // Nothing known and nothing unflagged: an empty default, refused the same way.
    const std::string flagged = directory.Write("b.vdb", "channel mask flagged\n");
    EXPECT_EQ(newIKor(flagged.c_str()), nullptr);
    const std::string failing = directory.Write("c.f3d", "channel density\nfail 7\n");
    EXPECT_EQ(newIKor(failing.c_str()), nullptr);
}

} // namespace
