// SPDX-License-Identifier: Apache-2.0
// The built module as the library uses it: loaded by its bare name, asked for channels
// and default mappings, and filling frames through the library's import glue (velocity
// check, record placeholder).
#include "foreign/ForeignImport.h"
#include "korloader/IKor.h"
#include "korloader/KorMappings.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/ForeignQueries.h"
#include "tests/common/TempDirectory.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string samplePath(const std::string& name) {
    return std::string(KOR_F3D_SAMPLES) + "/" + name;
}

class F3dThroughLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loaded = initalizeKoraLoader(nullptr, nullptr, 0); }

    static std::vector<std::pair<std::string, int>> channels(const std::string& path) {
        return kortest::offeredChannels(path);
    }

    static std::string defaultMapping(const std::string& path) {
        return kortest::defaultMappingOf(path);
    }

    // The frame as the library leaves it after importing the path with the mapping.
    static std::unique_ptr<FluxaFrameData> import(const std::string& path, const char* mapping,
                                                  int expected = 0) {
        std::unique_ptr<FluxaFrameData> frame = std::make_unique<FluxaFrameData>();
        EXPECT_EQ(importF3dFrame(path.c_str(), frame.get(), mapping, false), expected);
        return frame;
    }

    static int loaded;
};

int F3dThroughLibrary::loaded = 0;

} // namespace

TEST_F(F3dThroughLibrary, ModuleIsFoundByBareNameAndAccepted) {
    EXPECT_EQ(loaded & 1, 1);
}

TEST_F(F3dThroughLibrary, DefaultMappingFeedsTheKnownSlots) {
    EXPECT_EQ(defaultMapping(samplePath("dense_scalar.f3d")), "2,density;10,fuel;1,temperature;");
    // The flagged vector components never stand in for smoke.
    EXPECT_EQ(defaultMapping(samplePath("dense_vector.f3d")),
              "4,v_mac(x);5,v_mac(y);6,v_mac(z);4,velocity(x);5,velocity(Y);6,velocity(Z);");
}

TEST_F(F3dThroughLibrary, ImportFillsTheMappedSlots) {
    const auto frame = import(samplePath("dense_scalar.f3d"), "2,density;10,fuel;1,temperature;");
    EXPECT_EQ(frame->gridSize[0], 26);
    EXPECT_EQ(frame->gridSize[1], 22);
    EXPECT_EQ(frame->gridSize[2], 18);
    EXPECT_EQ(frame->recordWords, 1);
    ASSERT_NE(frame->getChannel(2), nullptr);
    // density (11, 9, 7) sits one voxel in from fuel's padded corner.
    EXPECT_EQ(frame->getChannel(2)[12 + 26 * (10 + 22 * 8)], 70911.0f);
    EXPECT_EQ(frame->hasChannel(1), 1);
    EXPECT_EQ(frame->hasChannel(10), 1);
}

TEST_F(F3dThroughLibrary, DefaultMappingOfMacVelocityGivesThreeComponents) {
    const std::string path = samplePath("dense_vector.f3d");
    const auto frame = import(path, defaultMapping(path).c_str());
    for (int slot = 4; slot <= 6; ++slot) {
        EXPECT_EQ(frame->hasChannel(slot), 1) << slot;
    }
    // Field3D's centred value of v_mac at (1, 0, 0).
    EXPECT_EQ(frame->getChannel(4)[1], 2.0f);
    EXPECT_EQ(frame->getChannel(5)[1], -51.25f);
    EXPECT_EQ(frame->getChannel(6)[1], 1005001.0f);
}

TEST_F(F3dThroughLibrary, SequenceOffersTheUnionOfItsFramesChannels) {
    auto listed = channels(samplePath("seq/smoke.####.f3d"));
    std::sort(listed.begin(), listed.end());
    const std::vector<std::pair<std::string, int>> expected = {
        {"density", 0}, {"fuel", 0}, {"velocity(Y)", 1}, {"velocity(Z)", 1}, {"velocity(x)", 1}};
    EXPECT_EQ(listed, expected);
    // Frames without fuel import all the same; fuel is simply absent.
    const auto first = import(samplePath("seq/smoke.0001.f3d"), "2,density;10,fuel;");
    EXPECT_EQ(first->hasChannel(2), 1);
    EXPECT_EQ(first->hasChannel(10), 0);
}

// Before, the default mapping fed only slot 4 from a real cache's velocity layer, and the
// import then dropped the incomplete velocity.
TEST_F(F3dThroughLibrary, VelocityLayerOpensWithAllThreeComponentsByDefault) {
    const std::string path = samplePath("seq/smoke.0002.f3d");
    IKor* const frame = newIKor(path.c_str());
    ASSERT_NE(frame, nullptr);
    for (int slot = 4; slot <= 6; ++slot) {
        EXPECT_EQ(frame->hasChannel(slot), 1) << slot;
    }
    EXPECT_NE(frame->getChannel(3), nullptr);
    deleteIKor(frame);
}

// Before, the module's own copy of the log had no file, and these lines vanished.
TEST_F(F3dThroughLibrary, ModuleMessagesReachTheHostsLog) {
    const kortest::CapturedLog log;
    import(samplePath("dense_scalar.f3d"), "2,density;40,fuel;");
    import(samplePath("absent.f3d"), "2,density;", 20);
    EXPECT_NE(log.Text().find("f3dbridge: ignoring the mapping of fuel to channel 40\n"),
              std::string::npos);
    EXPECT_NE(log.Text().find("f3dbridge: cannot open "), std::string::npos);
}

// HDF5 prints its error stack to stderr unless told not to, per thread: a host thread that
// meets a damaged file must see nothing on its standard streams.
TEST_F(F3dThroughLibrary, DamagedFilesPrintNothingOnAnyThread) {
    const kortest::TempDirectory directory;
    std::ifstream whole(samplePath("sparse_scalar.f3d"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() * 2 / 3);
    const std::string path = directory.Write("cut.f3d", bytes);
    const std::string printed = directory.File("stderr.txt");
    std::fflush(stderr);
    const int saved = dup(2);
    const int capture = open(printed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(capture, 2);
    std::thread host([&] {
        channels(path);
        import(path, "2,density;1,temperature;", 20);
    });
    host.join();
    std::fflush(stderr);
    dup2(saved, 2);
    close(capture);
    close(saved);
    std::ifstream text(printed);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>()),
              "");
}

TEST_F(F3dThroughLibrary, OgawaAndMissingFilesAreRefused) {
    import(samplePath("ogawa_dense.f3d"), "2,density;", 21);
    import(samplePath("absent.f3d"), "2,density;", 20);
    EXPECT_TRUE(channels(samplePath("ogawa_dense.f3d")).empty());
}
