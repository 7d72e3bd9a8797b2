// SPDX-License-Identifier: Apache-2.0
#include "frame/FluxaFrameData.h"
#include "tests/common/CapturedOutput.h"
#include "tests/frame/FrameFixtures.h"

#include <gtest/gtest.h>

using namespace kortest;

namespace {

float* requestRed(FluxaFrameData& frame, const std::vector<uint8_t>& voxelBytes, int32_t voxels) {
    giveRecords(frame, voxels, 1, 1, gridRecord(18, packedColourPayload(voxelBytes)));
    return frame.getChannel(FluxaEnum::ColorR);
}

} // namespace

TEST(PackedColour, ShortStreamIsRefused) {
    const struct {
        const char* label;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"one voxel short", {1, 2, 3, 4}},
        {"one byte short", {1, 2, 3, 4, 5, 6, 7}},
        {"empty", {}},
    };
    for (const auto& row : rows) {
        FluxaFrameData frame;
        CapturedLog log;
        EXPECT_EQ(requestRed(frame, row.bytes, 2), nullptr) << row.label;
        EXPECT_NE(log.Text().find("Invalid cache file!!!\n"), std::string::npos) << row.label;
    }
}

TEST(PackedColour, DataEndingInAnyByteIsAccepted) {
    for (const uint8_t lastByte : {uint8_t(0x5A), uint8_t(0xA5), uint8_t(0)}) {
        FluxaFrameData frame;
        const float* red = requestRed(frame, {1, 2, 3, 4, 5, 6, 7, lastByte}, 2);
        ASSERT_NE(red, nullptr) << int(lastByte);
        EXPECT_EQ(red[1], 7.0f / 255.0f);
    }
}

TEST(PackedColour, LongerStreamIsRefused) {
    FluxaFrameData frame;
    EXPECT_EQ(requestRed(frame, std::vector<uint8_t>(12, 9), 2), nullptr);
}
