// SPDX-License-Identifier: Apache-2.0
#include "foreign/ChannelMappings.h"
#include "foreign/Find3rdPartyCacheChannelsEnum.h"
#include "foreign/PluginModules.h"
#include "korloader/IKor.h"
#include "tests/foreign/ChannelDiscoveryTest.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using kortest::ChannelDiscovery;
using kortest::fakePluginDirectory;
using Names = kortest::ChannelDiscovery::Names;

TEST_F(ChannelDiscovery, VdbDefaultsMapKnownNamesAndFallBackToSmoke) {
    loadGoodPlugins();
    const std::string grids = "channel vel.x\nchannel vel.y\nchannel vel.z\nchannel mystery\n";
    EXPECT_EQ(defaultMapping(cache("a.vdb", "channel density\n" + grids)),
              "2,density;4,vel.x;5,vel.y;6,vel.z;");
    EXPECT_EQ(defaultMapping(cache("b.vdb", grids)), "4,vel.x;5,vel.y;6,vel.z;2,mystery;");
    // A flagged unknown grid is passed over for the next unflagged one.
    EXPECT_EQ(defaultMapping(cache("c.vdb", "channel first flagged\nchannel second\n")),
              "2,second;");
    EXPECT_EQ(defaultMapping(cache("d.vdb", "channel only flagged\n")), "");
    // Several grids may feed one slot; all of them are kept.
    EXPECT_EQ(defaultMapping(cache("e.vdb", "channel Smoke\nchannel density\nchannel x\n")),
              "2,Smoke;2,density;");
}

TEST_F(ChannelDiscovery, EachFormatHasItsOwnTable) {
    loadGoodPlugins();
    const std::string names = "channel VelocitiesX\nchannel VelocitiesY\nchannel VelocitiesZ\n";
    EXPECT_EQ(defaultMapping(cache("v.f3d", names)), "6,VelocitiesX;5,VelocitiesY;4,VelocitiesZ;");
    EXPECT_EQ(defaultMapping(cache("v.vdb", names)), "4,VelocitiesX;5,VelocitiesY;6,VelocitiesZ;");
    // Field3D spells two velocity components with capitals; the lower-case ones are unknown.
    EXPECT_EQ(defaultMapping(cache("w.f3d", "channel velocity(x)\nchannel velocity(Y)\n"
                                            "channel velocity(Z)\nchannel velocity(y)\n")),
              "4,velocity(x);5,velocity(Y);6,velocity(Z);2,velocity(y);");
    EXPECT_EQ(defaultMapping(cache("r.vdb", "channel rest.x\nchannel surface\nchannel fuel\n")),
              "7,rest.x;1,surface;10,fuel;");
    EXPECT_EQ(defaultMapping(cache("t.f3d", "channel TextureCoord(z)\nchannel Density\n")),
              "9,TextureCoord(z);2,Density;");
    // Upper-case extensions choose the table all the same.
    EXPECT_EQ(defaultMapping(cache("UPPER.VDB", "channel VelocitiesX\n")), "4,VelocitiesX;");
    EXPECT_EQ(defaultMapping(cache("UPPER.F3D", "channel VelocitiesX\n")), "6,VelocitiesX;");
    // Names compare case-sensitively.
    EXPECT_EQ(defaultMapping(cache("c.vdb", "channel DENSITY\n")), "2,DENSITY;");
}

TEST_F(ChannelDiscovery, ListsChannelsWithTheirFlagsByIndex) {
    loadGoodPlugins();
    const std::string path = cache("f.vdb", "channel density\nchannel mask flagged\n"
                                            "channel density flagged\n");
    // Within one file too, the first appearance of a name wins.
    EXPECT_EQ(offered(path), (Names{"density", "mask*"}));
    char name[4] = "xyz";
    int flag = 7;
    EXPECT_EQ(korGet3rdPartyChannelName(name, 4, &flag, path.c_str(), 0), 0);
    EXPECT_STREQ(name, "den");
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(korGet3rdPartyChannelName(name, 4, &flag, path.c_str(), -1), -1);
    EXPECT_EQ(korGet3rdPartyChannelName(name, 4, &flag, path.c_str(), 2), -1);
    EXPECT_STREQ(name, "den");
}

TEST_F(ChannelDiscovery, ASequenceOffersTheUnionOfItsFrames) {
    loadGoodPlugins();
    cache("seq.0001.vdb", "channel density\nchannel shared flagged\n");
    cache("seq.0002.vdb", "channel shared flagged\nchannel vel.x\n");
    // Not a frame of the pattern: four digits are required.
    cache("seq.3.vdb", "channel stray\n");
    const Names channels = offered(directory.File("seq.####.vdb"));
    EXPECT_EQ(std::set<std::string>(channels.begin(), channels.end()),
              (std::set<std::string>{"density", "shared*", "vel.x"}));
    EXPECT_EQ(channels.size(), 3u);
}

TEST_F(ChannelDiscovery, OffersNothingWithoutAReadyPlugin) {
    const std::string path = cache("g.vdb", "channel density\n");
    const std::string f3d = cache("g.f3d", "channel density\n");
    EXPECT_EQ(offered(path), Names{});
    EXPECT_EQ(defaultMapping(path), "");
    ASSERT_EQ(initalizeKoraLoader(fakePluginDirectory("initfails").c_str(), "test", 0), 0);
    EXPECT_EQ(offered(path), Names{});
    EXPECT_EQ(offered(f3d), Names{});
    releasePluginModules();
    ASSERT_EQ(initalizeKoraLoader(fakePluginDirectory("noexport").c_str(), "test", 0), 2);
    EXPECT_EQ(offered(path), Names{"density"});
    EXPECT_EQ(offered(f3d), Names{});
    // Other extensions are never asked about.
    EXPECT_EQ(offered(cache("g.kor", "channel density\n")), Names{});
    EXPECT_EQ(offered(cache("g.txt", "channel density\n")), Names{});
    EXPECT_EQ(defaultMapping(cache("g.kor", "channel density\n")), "");
    EXPECT_EQ(offered(directory.File("missing.vdb")), Names{});
}

TEST_F(ChannelDiscovery, SurvivesPluginsThatBreakTheList) {
    loadGoodPlugins();
    EXPECT_EQ(offered(cache("n.vdb", "channel a\nlist broken-count\n")), Names{});
    EXPECT_EQ(offered(cache("o.vdb", "channel a\nchannel b\nlist overfull\n")), Names{});
    EXPECT_EQ(defaultMapping(cache("p.vdb", "channel density\nlist overfull\n")), "");
    // Elements the plug-in added but never named are empty names, reported once.
    EXPECT_EQ(offered(cache("h.vdb", "channel a\nlist half-filled\n")), (Names{"a", ""}));
}

TEST_F(ChannelDiscovery, AnswersFromSeveralThreadsAtOnce) {
    loadGoodPlugins();
    const std::string path = cache("m.vdb", "channel density\nchannel vel.x\n");
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (std::string& result : results) {
        threads.emplace_back([&path, &result] {
            char buffer[64];
            for (int i = 0; i < 20; ++i) {
                korGenerateDefaultChannelMappings(buffer, sizeof buffer, path.c_str());
            }
            result = buffer;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& result : results) {
        EXPECT_EQ(result, "2,density;4,vel.x;");
    }
}

} // namespace
