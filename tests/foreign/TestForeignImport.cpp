// SPDX-License-Identifier: Apache-2.0
#include "foreign/ForeignImport.h"
#include "foreign/PluginModules.h"
#include "korloader/KorMappings.h"
#include "loader/FrameFormats.h"
#include "tests/common/CapturedOutput.h"
#include "tests/foreign/FakePlugins.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using kortest::fakePluginDirectory;
using kortest::PluginTest;

std::vector<uint32_t> bitsOf(const float* values, size_t count) {
    std::vector<uint32_t> bits(count);
    std::memcpy(bits.data(), values, count * sizeof(float));
    return bits;
}

// Axis vectors e1, e2, e3 and the translation, as bit patterns.
std::vector<uint32_t> transformBits(const FluxaFrameData& frame) {
    return bitsOf(frame.transform, 12);
}

constexpr uint32_t One = 0x3F800000;
constexpr uint32_t MinusOne = 0xBF800000;
constexpr uint32_t MinusZero = 0x80000000;
const std::vector<uint32_t> Identity = {One, 0, 0, 0, One, 0, 0, 0, One, 0, 0, 0};

class ForeignImport : public PluginTest {
protected:
    std::string cache(const std::string& name, const std::string& description) {
        return directory.Write(name, description);
    }

    // The imports start from an empty frame, as the registry hands them one.
    void renewFrame() { frame = std::make_unique<FluxaFrameData>(); }

    std::unique_ptr<FluxaFrameData> frame = std::make_unique<FluxaFrameData>();
};

TEST_F(ForeignImport, WithoutAReadyPluginAnswers2AndLeavesTheFrameEmpty) {
    const std::string path = cache("a.vdb", "channel density\n");
    frame->channelMask = 0x4;
    EXPECT_EQ(importVdbFrame(path.c_str(), frame.get(), "2,density;", false), 2);
    EXPECT_EQ(importF3dFrame(path.c_str(), frame.get(), "2,density;", false), 2);
    EXPECT_EQ(frame->channelMask, 0u);
    EXPECT_EQ(frame->recordWords, 0);
    ASSERT_EQ(initalizeKoraLoader(fakePluginDirectory("initfails").c_str(), "test", 0), 0);
    EXPECT_EQ(importVdbFrame(path.c_str(), frame.get(), "2,density;", false), 2);
}

TEST_F(ForeignImport, AnEmptyMappingIsRefusedWithItsMessage) {
    loadGoodPlugins();
    const std::string vdb = cache("a.vdb", "channel density\n");
    const std::string f3d = cache("a.f3d", "channel density\n");
    for (const char* mapping : {static_cast<const char*>(nullptr), "", "7", ";;"}) {
        const kortest::CapturedLog log;
        EXPECT_EQ(importVdbFrame(vdb.c_str(), frame.get(), mapping, false), 9);
        EXPECT_EQ(importF3dFrame(f3d.c_str(), frame.get(), mapping, false), 9);
        EXPECT_EQ(log.Text(), "Trying to import VDB files with no mappings specified!\n"
                              "Trying to import F3D files with no mappings specified!\n");
    }
    EXPECT_EQ(kortest::lastVdbImport().calls, 0);
    EXPECT_EQ(kortest::lastF3dImport().calls, 0);
}

TEST_F(ForeignImport, FillsTheFrameThroughThePluginAndAddsThePlaceholderTable) {
    loadGoodPlugins();
    const std::string path = cache("full.vdb", "grid 2 3 4\nchannel density\nchannel vx\n"
                                               "channel vy\nchannel vz\norientation 1\n");
    ASSERT_EQ(importVdbFrame(path.c_str(), frame.get(), "2,density;4,vx;5,vy;6,vz;", false), 0);
    const kortest::FakeImport seen = kortest::lastVdbImport();
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.headerOnly, 0);
    EXPECT_EQ(seen.mappingCount, 4);
    EXPECT_EQ(seen.firstFactor, 1.0f);
    EXPECT_EQ(frame->recordWords, 1);
    EXPECT_NE(frame->recordTable, nullptr);
    EXPECT_EQ(frame->channelMask, 0x74u);
    EXPECT_EQ(frame->hasChannel(FluxaEnum::Speed), 1);
    const int gridSize[3] = {2, 3, 4};
    EXPECT_EQ(std::memcmp(frame->gridSize, gridSize, sizeof gridSize), 0);
    for (int slot : {2, 4, 5, 6}) {
        ASSERT_NE(frame->channelData[slot], nullptr);
        std::vector<float> expected(24);
        for (int i = 0; i < 24; ++i) {
            expected[i] = static_cast<float>(slot * 1000 + i);
        }
        EXPECT_EQ(bitsOf(frame->channelData[slot], 24), bitsOf(expected.data(), 24));
    }
    EXPECT_EQ(transformBits(*frame), Identity);
}

TEST_F(ForeignImport, KeepsVelocityOnlyWhenAllThreeComponentsArePresent) {
    loadGoodPlugins();
    const std::string path = cache("xy.f3d", "channel density\nchannel vx\nchannel vy\n");
    ASSERT_EQ(importF3dFrame(path.c_str(), frame.get(), "2,density;4,vx;5,vy;6,vz;", false), 0);
    for (int slot = 4; slot <= 6; ++slot) {
        EXPECT_EQ(frame->channelData[slot], nullptr);
    }
    EXPECT_EQ(frame->channelMask, 0x4u);
    EXPECT_NE(frame->channelData[2], nullptr);
    EXPECT_EQ(frame->recordWords, 1);

    // A component counts when either its array or its mask bit is there.
    FluxaFrameData byMask;
    byMask.channelMask = 0x30;
    byMask.channelData[6] = new float[1];
    checkVelocityComplete(byMask);
    EXPECT_EQ(byMask.channelMask, 0x30u);
    EXPECT_NE(byMask.channelData[6], nullptr);
    byMask.channelMask = 0x10 | 0x2;
    checkVelocityComplete(byMask);
    EXPECT_EQ(byMask.channelMask, 0x2u);
    EXPECT_EQ(byMask.channelData[6], nullptr);
}

TEST_F(ForeignImport, PassesThePluginFailureOnUnchanged) {
    loadGoodPlugins();
    const std::string path = cache("fail.vdb", "channel density\nfail 7\n");
    EXPECT_EQ(importVdbFrame(path.c_str(), frame.get(), "2,density;", false), 7);
    EXPECT_EQ(frame->recordWords, 0);
    EXPECT_EQ(frame->recordTable, nullptr);
    const std::string negative = cache("fail.f3d", "channel density\nfail -1\n");
    renewFrame();
    EXPECT_EQ(importF3dFrame(negative.c_str(), frame.get(), "2,density;", false), -1);
}

TEST_F(ForeignImport, TurnsField3DTransformsUnderAxisMode2) {
    loadGoodPlugins(2);
    const std::string path = cache("t.f3d", "channel density\n");
    ASSERT_EQ(importF3dFrame(path.c_str(), frame.get(), "2,density;", false), 0);
    EXPECT_EQ(transformBits(*frame), (std::vector<uint32_t>{One, 0, 0, 0, 0, One, MinusZero,
                                                            MinusOne, MinusZero, 0, 0, 0}));
    // An OpenVDB frame keeps its transform under axis mode 2.
    const std::string vdb = cache("t.vdb", "channel density\norientation 0\n");
    renewFrame();
    ASSERT_EQ(importVdbFrame(vdb.c_str(), frame.get(), "2,density;", false), 0);
    EXPECT_EQ(transformBits(*frame), Identity);
}

TEST_F(ForeignImport, TurnsOpenVdbTransformsUnderAxisMode1WhenThePluginAsks) {
    loadGoodPlugins(1);
    const std::string turned = cache("o0.vdb", "channel density\norientation 0\n");
    ASSERT_EQ(importVdbFrame(turned.c_str(), frame.get(), "2,density;", false), 0);
    EXPECT_EQ(transformBits(*frame), (std::vector<uint32_t>{One, 0, 0, MinusZero, MinusZero,
                                                            MinusOne, 0, One, 0, 0, 0, 0}));
    const std::string kept = cache("o1.vdb", "channel density\norientation 1\n");
    renewFrame();
    ASSERT_EQ(importVdbFrame(kept.c_str(), frame.get(), "2,density;", false), 0);
    EXPECT_EQ(transformBits(*frame), Identity);
    // A Field3D frame keeps its transform under axis mode 1.
    const std::string f3d = cache("o.f3d", "channel density\n");
    renewFrame();
    ASSERT_EQ(importF3dFrame(f3d.c_str(), frame.get(), "2,density;", false), 0);
    EXPECT_EQ(transformBits(*frame), Identity);
}

TEST_F(ForeignImport, TurnsOnlyTheSecondAndThirdAxisVectors) {
    loadGoodPlugins(2);
    const std::string path =
        cache("g.f3d", "channel density\ntransform 1 2 3 4 -5 -0 7 8 0 10 11 12\n");
    ASSERT_EQ(importF3dFrame(path.c_str(), frame.get(), "2,density;", false), 0);
    const float expected[12] = {1, 2, 3, 7, 8, 0, -4, 5, 0, 10, 11, 12};
    EXPECT_EQ(transformBits(*frame), bitsOf(expected, 12));
    // The old e2's -0, negated, is +0: the sign bit flips, nothing else.
    EXPECT_EQ(transformBits(*frame)[8], 0u);
}

TEST_F(ForeignImport, HeaderOnlyLoadsDispatchByLowerCasedExtension) {
    loadGoodPlugins();
    const std::string vdb = cache("UPPER.VDB", "channel density\n");
    const std::string f3d = cache("UPPER.F3d", "channel density\n");
    EXPECT_EQ(loadFrameFileHeaderOnly(vdb.c_str(), frame.get(), "2,density;"), 0);
    EXPECT_EQ(kortest::lastVdbImport().headerOnly, 1);
    EXPECT_EQ(frame->channelData[2], nullptr);
    EXPECT_EQ(frame->recordWords, 1);
    EXPECT_EQ(loadFrameFileHeaderOnly(f3d.c_str(), frame.get(), "2,density;"), 0);
    EXPECT_EQ(kortest::lastF3dImport().headerOnly, 1);
    EXPECT_EQ(loadFrameFileHeaderOnly(vdb.c_str(), nullptr, "2,density;"), 1);
    EXPECT_EQ(loadFrameFileHeaderOnly(cache("x.txt", "").c_str(), frame.get(), "2,d;"), 3);
    EXPECT_EQ(loadFrameFileHeaderOnly(nullptr, frame.get(), "2,d;"), 3);
    EXPECT_EQ(loadFrameFileHeaderOnly(vdb.c_str(), frame.get(), ""), 9);
}

TEST_F(ForeignImport, ExportsThroughTheOpenVdbPluginWhenItOffersTo) {
    const std::string target = directory.File("out.vdb");
    frame->gridSize[0] = 5;
    EXPECT_EQ(exportVdbFrame(target.c_str(), frame.get()), 10);
    ASSERT_EQ(initalizeKoraLoader(fakePluginDirectory("noexport").c_str(), "test", 0), 2);
    EXPECT_EQ(exportVdbFrame(target.c_str(), frame.get()), 10);
    releasePluginModules();
    loadGoodPlugins();
    EXPECT_EQ(exportVdbFrame(target.c_str(), frame.get()), 0);
    std::ifstream written(target);
    std::string line;
    std::getline(written, line);
    EXPECT_EQ(line, "grid 5 0 0");
}

} // namespace
