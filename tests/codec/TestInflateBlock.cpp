// SPDX-License-Identifier: Apache-2.0
#include "codec/InflateBlock.h"
#include "tests/common/CapturedOutput.h"

#include <gtest/gtest.h>
#include <vector>
#include <zlib.h>

TEST(InflateBlock, InflatesAWholeStreamAndRefusesDamage) {
    std::vector<uint8_t> plain(4000);
    for (size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<uint8_t>(i * 7 / 13);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(plain.size()));
    std::vector<uint8_t> packed(packedSize);
    ASSERT_EQ(
        compress2(packed.data(), &packedSize, plain.data(), static_cast<uLong>(plain.size()), 6),
        Z_OK);
    packed.resize(packedSize);

    std::vector<uint8_t> out(plain.size() + 10);
    uint64_t produced = 0;
    EXPECT_EQ(inflateBlock(packed.data(), packed.size(), out.data(), out.size(), &produced), 1);
    EXPECT_EQ(produced, plain.size());
    out.resize(plain.size());
    EXPECT_EQ(out, plain);

    kortest::CapturedLog log;
    EXPECT_EQ(inflateBlock(packed.data(), static_cast<uint32_t>(packed.size()), out.data(),
                           static_cast<uint32_t>(out.size() - 1)),
              0);
    std::vector<uint8_t> damaged(packed);
    damaged[0] = 0x00;
    EXPECT_EQ(inflateBlock(damaged.data(), static_cast<uint32_t>(damaged.size()), out.data(),
                           static_cast<uint32_t>(out.size())),
              0);
    EXPECT_EQ(log.Text(), "Error decompressing Zip (0)\nError decompressing Zip (-3)\n");
}
