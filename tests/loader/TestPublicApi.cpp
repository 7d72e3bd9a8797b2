// SPDX-License-Identifier: Apache-2.0
// The frame functions as a host calls them: the public header and the shared library.
#include "tests/cachefile/KorBytes.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <korloader/IKor.h>
#include <unistd.h>

using namespace kortest;

namespace {

std::string writeTemp(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("korloader-api-" + std::to_string(getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

} // namespace

TEST(PublicApi, OpenReadRelease) {
    const std::string table = gridRecord(FluxaEnum::Smoke, constantStream(6, 0.25f)) +
                              gridRecord(FluxaEnum::VelocityX, rawStream({0, 1, 2, 3, 4, 5}));
    KorBytes records;
    records.i32(1).u32((1u << FluxaEnum::Smoke) | (1u << FluxaEnum::VelocityX));
    records.i32(2).floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 7, 8, 9});
    records.raw(gridTag(3, 2, 1, table));
    const std::string path = writeTemp("frame.kor", korFile(korHeader(records.bytes()), ""));

    IKor* frame = newIKor(path.c_str());
    ASSERT_NE(frame, nullptr);
    int size[3];
    frame->getGridSize(size);
    EXPECT_EQ(size[0] * 100 + size[1] * 10 + size[2], 321);
    float transform[12];
    frame->getTransform(transform);
    EXPECT_EQ(transform[9], 7.0f);
    EXPECT_EQ(frame->hasChannel(FluxaEnum::Smoke), 1);
    EXPECT_EQ(frame->hasChannel(FluxaEnum::Speed), 0);
    const float* smoke = frame->getChannel(FluxaEnum::Smoke);
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(smoke[5], 0.25f);
    EXPECT_EQ(frame->getChannel(FluxaEnum::VelocityX)[4], 4.0f);
    EXPECT_EQ(frame->getChannel(FluxaEnum::Fuel), nullptr);
    EXPECT_EQ(frame->getParticleGroupCount(), 0);
    EXPECT_EQ(frame->getParticleGroupByName("none"), nullptr);
    EXPECT_EQ(newIKorWithChannelsMapping(path.c_str(), ""), frame);
    deleteIKor(frame);
    deleteIKor(frame);
    std::filesystem::remove(path);
}

TEST(PublicApi, FailuresAreNullHandles) {
    EXPECT_EQ(newIKor(nullptr), nullptr);
    EXPECT_EQ(newIKor("/nonexistent/frame.kor"), nullptr);
    EXPECT_EQ(newIKorWithChannelsMapping("frame.vdb", "2,density;"), nullptr);
    deleteIKor(nullptr);
    EXPECT_EQ(FluxaSimSDKGetVersionNumber(), 197632u);
}
