// SPDX-License-Identifier: Apache-2.0
// The public frame writer: what it saves must read back through newIKor and through the
// independent reader alike, and no refused argument may reach a file.
#include "korloader/IKor.h"
#include "korloader/IKorWriter.h"
#include "tests/common/IndependentKor.h"
#include "tests/common/TempDirectory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

namespace {

using kortest::IndependentFrame;
using kortest::readIndependently;

struct WriterDeleter {
    void operator()(IKorWriter* writer) const { deleteIKorWriter(writer); }
};
using Writer = std::unique_ptr<IKorWriter, WriterDeleter>;

struct FrameDeleter {
    void operator()(IKor* frame) const { deleteIKor(frame); }
};
using Frame = std::unique_ptr<IKor, FrameDeleter>;

std::vector<float> ramp(size_t count, float scale, float offset) {
    std::vector<float> values(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] = offset + scale * std::sin(0.01f * float(i)) * float(i % 97) / 97.0f;
    }
    return values;
}

// Each value within half a quantisation step of the original, the step being the range
// split into 2^bits.
void expectWithinStep(const std::vector<float>& original, const float* decoded, int bits) {
    const auto range = std::minmax_element(original.begin(), original.end());
    const float step = (*range.second - *range.first) / float(1 << bits);
    for (size_t i = 0; i < original.size(); ++i) {
        ASSERT_NEAR(decoded[i], original[i], step * 0.5f + 1e-6f) << "element " << i;
    }
}

void expectSameBits(const std::vector<float>& expected, const float* actual) {
    ASSERT_EQ(std::memcmp(expected.data(), actual, expected.size() * 4), 0);
}

TEST(FrameWriter, GridChannelsReadBackThroughLibraryAndIndependentReader) {
    kortest::TempDirectory directory;
    const int gx = 20, gy = 12, gz = 7;
    const size_t n = size_t(gx) * gy * gz;
    const std::vector<float> smoke = ramp(n, 1.0f, 0.5f);
    const std::vector<float> exact = ramp(n, 3.0f, -1.0f);
    std::vector<float> constant(n, 2.5f);
    const float transform[12] = {0.1f, 0, 0, 0, 0.1f, 0, 0, 0, 0.1f, 1, 2, 3};
    Writer writer(newIKorWriter());
    ASSERT_EQ(writer->setGridSize(gx, gy, gz), 1);
    ASSERT_EQ(writer->setTransform(transform), 1);
    ASSERT_EQ(writer->setFrameNumber(42), 1);
    ASSERT_EQ(writer->setNote("a note"), 1);
    ASSERT_EQ(writer->setChannel(FluxaEnum::Smoke, smoke.data(), 12, 0.0f, 1), 1);
    ASSERT_EQ(writer->setChannel(FluxaEnum::VelocityX, exact.data(), 32, 0.0f, 0), 1);
    ASSERT_EQ(writer->setChannel(FluxaEnum::Fuel, constant.data(), 0, 0.25f, 2), 1);
    ASSERT_EQ(writer->save(directory.File("out/deeper/frame.####.kor").c_str()), 1)
        << writer->getLastError();
    EXPECT_STREQ(writer->getLastError(), "");

    const std::string path = directory.File("out/deeper/frame.0042.kor");
    const IndependentFrame independent = readIndependently(path);
    EXPECT_EQ(independent.gridSize[0], gx);
    EXPECT_EQ(independent.gridSize[2], gz);
    EXPECT_EQ(independent.frameNumber, 42);
    EXPECT_EQ(independent.note, "a note");
    EXPECT_EQ(std::memcmp(independent.transform, transform, sizeof transform), 0);
    EXPECT_EQ(independent.channelMask, (1u << 2) | (1u << 4) | (1u << 10));
    EXPECT_EQ(independent.ranges.at(FluxaEnum::Fuel).first, 2.5f);

    Frame frame(newIKor(path.c_str()));
    ASSERT_NE(frame, nullptr);
    int size[3];
    frame->getGridSize(size);
    EXPECT_EQ(size[1], gy);
    const float* decodedSmoke = frame->getChannel(FluxaEnum::Smoke);
    ASSERT_NE(decodedSmoke, nullptr);
    expectWithinStep(smoke, decodedSmoke, 12);
    expectSameBits(independent.channels.at(FluxaEnum::Smoke), decodedSmoke);
    expectSameBits(exact, frame->getChannel(FluxaEnum::VelocityX));
    expectSameBits(exact, independent.channels.at(FluxaEnum::VelocityX).data());
    expectSameBits(constant, frame->getChannel(FluxaEnum::Fuel));
}

std::vector<char> fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file), {});
}

TEST(FrameWriter, LargeChannelsBecomeZoneContainersOnThePool) {
    kortest::TempDirectory directory;
    const int side = 48;
    const size_t n = size_t(side) * side * side;
    const std::vector<float> smoke = ramp(n, 1.0f, 1.0f);
    Writer writer(newIKorWriter());
    ASSERT_EQ(writer->setGridSize(side, side, side), 1);
    ASSERT_EQ(writer->setChannel(FluxaEnum::Smoke, smoke.data(), 16, 0.0f, 1), 1);
    const std::string single = directory.File("single.kor");
    const std::string pooled = directory.File("pooled.kor");
    ASSERT_EQ(writer->save(single.c_str()), 1);
    ASSERT_EQ(korSetThreadCount(2), 2);
    ASSERT_EQ(writer->save(pooled.c_str()), 1);
    korSetThreadCount(0);
    // The writer keeps its encoder between saves, but not the pool the host turned off.
    const std::string after = directory.File("after.kor");
    ASSERT_EQ(writer->save(after.c_str()), 1);
    EXPECT_EQ(fileBytes(after), fileBytes(single));
    EXPECT_EQ(fileBytes(pooled), fileBytes(single));
    // Slabs encoded by the pool's jobs or one after another give the same values.
    const IndependentFrame a = readIndependently(single);
    const IndependentFrame b = readIndependently(pooled);
    expectSameBits(a.channels.at(FluxaEnum::Smoke), b.channels.at(FluxaEnum::Smoke).data());
    Frame frame(newIKor(pooled.c_str()));
    ASSERT_NE(frame, nullptr);
    expectSameBits(b.channels.at(FluxaEnum::Smoke), frame->getChannel(FluxaEnum::Smoke));
    expectWithinStep(smoke, frame->getChannel(FluxaEnum::Smoke), 16);
}

TEST(FrameWriter, ParticleChannelsOfEveryMethodReadBack) {
    kortest::TempDirectory directory;
    const int count = 70; // more than two plane words
    std::vector<float> positions, sizes;
    std::vector<long long> ids;
    std::vector<int32_t> flags;
    for (int i = 0; i < count; ++i) {
        positions.insert(positions.end(), {float(i) * 0.5f, -float(i % 5), 3.0f + float(i)});
        sizes.push_back(0.25f * float(i % 9));
        ids.push_back((long long)(count - i) * 1000000007LL); // descending, beyond 32 bits
        flags.push_back(-i * 3);
    }
    Writer writer(newIKorWriter());
    for (int method = 0; method <= 4; ++method) {
        const int group = writer->addParticleGroup(("g" + std::to_string(method)).c_str(), count);
        ASSERT_EQ(group, method);
        ASSERT_EQ(writer->setParticleChannel(group, 0, positions.data(), method, 32), 1)
            << writer->getLastError();
        ASSERT_EQ(writer->setParticleChannel(group, 2, sizes.data(), method, 32), 1);
        ASSERT_EQ(writer->setParticleChannel(group, 10, ids.data(), method, 8), 1);
        ASSERT_EQ(writer->setParticleChannel(group, 12, flags.data(), method, 8), 1);
    }
    const std::string path = directory.File("particles.kor");
    ASSERT_EQ(writer->save(path.c_str()), 1) << writer->getLastError();

    const IndependentFrame independent = readIndependently(path);
    ASSERT_EQ(independent.groups.size(), 5u);
    Frame frame(newIKor(path.c_str()));
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(frame->getParticleGroupCount(), 5);
    for (int method = 0; method <= 4; ++method) {
        SCOPED_TRACE("method " + std::to_string(method));
        const kortest::IndependentGroup& stored = independent.groups[size_t(method)];
        EXPECT_EQ(
            stored.channels.at(0),
            std::string(reinterpret_cast<const char*>(positions.data()), positions.size() * 4));
        EXPECT_EQ(stored.channels.at(10),
                  std::string(reinterpret_cast<const char*>(ids.data()), ids.size() * 8));
        IFluxaSimPrtGroup* group = frame->getParticleGroup(unsigned(method));
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->getParticleCount(), count);
        for (int i = 0; i < count; i += 13) {
            float position[3];
            int32_t flag = 0;
            ASSERT_TRUE(group->getValue(i, 0, position));
            EXPECT_EQ(position[2], positions[size_t(i) * 3 + 2]);
            ASSERT_TRUE(group->getValue(i, 12, &flag));
            EXPECT_EQ(flag, flags[size_t(i)]);
            EXPECT_EQ(group->findParticleById(ids[size_t(i)]), i);
        }
    }
}

TEST(FrameWriter, QuantisedParticleChannelsStayWithinTheirStep) {
    kortest::TempDirectory directory;
    const std::vector<float> ages = ramp(500, 10.0f, 10.0f);
    Writer writer(newIKorWriter());
    ASSERT_EQ(writer->addParticleGroup("smoke", 500), 0);
    ASSERT_EQ(writer->setParticleChannel(0, 3, ages.data(), 3, 10), 1);
    const std::string path = directory.File("ages.kor");
    ASSERT_EQ(writer->save(path.c_str()), 1);
    const IndependentFrame frame = readIndependently(path);
    const std::string& decoded = frame.groups.at(0).channels.at(3);
    ASSERT_EQ(decoded.size(), ages.size() * 4);
    expectWithinStep(ages, reinterpret_cast<const float*>(decoded.data()), 10);
}

// Every refusal leaves the writer as it was: the file saved afterwards holds only what was
// accepted.
TEST(FrameWriter, HostileArgumentsAreRefusedWithAReason) {
    kortest::TempDirectory directory;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values(4 * 3 * 2, 1.0f);
    std::vector<float> withNan = values;
    withNan[5] = nan;
    std::vector<float> withInf = values;
    withInf[0] = -inf;
    float badTransform[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, inf, 0};
    Writer writer(newIKorWriter());
    EXPECT_EQ(writer->setChannel(2, values.data(), 16, 0, 1), 0) << "no grid size yet";
    EXPECT_EQ(writer->setGridSize(-1, 3, 2), 0);
    EXPECT_EQ(writer->setGridSize(65536, 65536, 1), 0);
    ASSERT_EQ(writer->setGridSize(4, 3, 2), 1);
    struct Case {
        const char* label;
        int result;
    };
    const Case cases[] = {
        {"slot -1", writer->setChannel(-1, values.data(), 16, 0, 1)},
        {"slot 32", writer->setChannel(32, values.data(), 16, 0, 1)},
        {"packed colour", writer->setChannel(18, values.data(), 16, 0, 1)},
        {"null values", writer->setChannel(2, nullptr, 16, 0, 1)},
        {"NaN quantised", writer->setChannel(2, withNan.data(), 16, 0, 1)},
        {"infinity quantised by step", writer->setChannel(2, withInf.data(), 0, 0.1f, 1)},
        {"zero step", writer->setChannel(2, values.data(), 0, 0.0f, 1)},
        {"NaN step", writer->setChannel(2, values.data(), -3, nan, 1)},
        {"passes 256", writer->setChannel(2, values.data(), 16, 0, 256)},
        {"passes -1", writer->setChannel(2, values.data(), 16, 0, -1)},
        {"null transform", writer->setTransform(nullptr)},
        {"infinite transform", writer->setTransform(badTransform)},
        {"unknown group", writer->setParticleChannel(0, 0, values.data(), 0, 32)},
    };
    for (const Case& refused : cases) {
        EXPECT_EQ(refused.result, 0) << refused.label;
    }
    EXPECT_STRNE(writer->getLastError(), "");
    EXPECT_EQ(writer->addParticleGroup("negative", -1), -1);
    const int group = writer->addParticleGroup(nullptr, 8);
    ASSERT_EQ(group, 0);
    const Case particleCases[] = {
        {"channel 6 has no layout", writer->setParticleChannel(group, 6, values.data(), 0, 32)},
        {"channel 32", writer->setParticleChannel(group, 32, values.data(), 0, 32)},
        {"method 5", writer->setParticleChannel(group, 0, values.data(), 5, 32)},
        {"method -1", writer->setParticleChannel(group, 0, values.data(), -1, 32)},
        {"null values", writer->setParticleChannel(group, 0, nullptr, 1, 32)},
        {"NaN quantised", writer->setParticleChannel(group, 0, withNan.data(), 2, 12)},
        {"bits 0 for the codec", writer->setParticleChannel(group, 0, values.data(), 3, 0)},
    };
    for (const Case& refused : particleCases) {
        EXPECT_EQ(refused.result, 0) << refused.label;
    }
    // Exact storage keeps NaN bits; the grid size cannot change under a channel.
    EXPECT_EQ(writer->setChannel(3, withNan.data(), 32, 0, 0), 1);
    EXPECT_EQ(writer->setGridSize(2, 3, 4), 0);
    EXPECT_EQ(writer->save(nullptr), 0);
    EXPECT_EQ(writer->save(directory.File("no-plugin.vdb").c_str()), 0);
    const std::string path = directory.File("accepted.kor");
    ASSERT_EQ(writer->save(path.c_str()), 1);
    const IndependentFrame frame = readIndependently(path);
    EXPECT_EQ(frame.channelMask, 1u << 3);
    EXPECT_EQ(frame.channels.size(), 1u);
    expectSameBits(withNan, frame.channels.at(3).data());
    ASSERT_EQ(frame.groups.size(), 1u);
    EXPECT_EQ(frame.groups[0].name, "");
    EXPECT_TRUE(frame.groups[0].channels.empty());
}

} // namespace
