// SPDX-License-Identifier: Apache-2.0
// Files that are broken, hostile or merely unusual end in a clean result: a refusal code
// with its reason in the log, never a crash or an allocation sized by the file.
#include "tests/common/CapturedOutput.h"
#include "tests/common/LimitedProcess.h"
#include "tests/common/TempDirectory.h"
#include "tests/plugins/f3dbridge/F3dTestSupport.h"
#include "tests/plugins/f3dbridge/F3dTestWriter.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

using f3dtest::importF3d;
using f3dtest::LayerSpec;

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::stringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

LayerSpec denseLayer() {
    LayerSpec layer;
    layer.data.resize(64);
    for (size_t i = 0; i < layer.data.size(); ++i) {
        layer.data[i] = static_cast<float>(i);
    }
    return layer;
}

struct RefusalCase {
    const char* label;
    std::function<void(LayerSpec&)> change;
    F3dResult expected;
    const char* logText;
};

} // namespace

TEST(F3dRefusals, CraftedLayersEndInTheirRefusal) {
    const RefusalCase cases[] = {
        {"absurd data window", [](LayerSpec& l) { l.dataWindow = {0, 0, 0, 99999, 99999, 99999}; },
         F3dResult::TooLarge, "more than the limit"},
        {"empty data window", [](LayerSpec& l) { l.dataWindow = {0, 0, 0, -1, 3, 3}; },
         F3dResult::NoVoxels, "hold no voxels"},
        {"short dataset", [](LayerSpec& l) { l.data.resize(63); }, F3dResult::BadLayout,
         "wrong length"},
        // Before the check, 4 GB were allocated and filled with HDF5's fill value.
        {"dataset claiming more than the file holds",
         [](LayerSpec& l) {
             l.dataWindow = {0, 0, 0, 999, 999, 999};
             l.declaredLength = 1000000000;
         },
         F3dResult::BadLayout, "dataset holds fewer bytes than its elements need"},
        {"integer dataset", [](LayerSpec& l) { l.integerData = true; }, F3dResult::BadLayout,
         "element type"},
        {"missing dataset", [](LayerSpec& l) { l.writeData = false; }, F3dResult::BadLayout,
         "missing dataset"},
        {"half bits over float data", [](LayerSpec& l) { l.bitsPerComponent = 16; },
         F3dResult::BadLayout, "element type"},
        {"sparse block count",
         [](LayerSpec& l) {
             l.className = "SparseField";
             l.numOccupiedBlocks = 5;
         },
         F3dResult::BadLayout, "missing dataset"},
        {"unknown class", [](LayerSpec& l) { l.className = "FooField"; }, F3dResult::NoMappedField,
         "unsupported class FooField"},
        {"frustum mapping", [](LayerSpec& l) { l.mappingType = "FrustumFieldMapping"; },
         F3dResult::NoMappedField, "unsupported mapping FrustumFieldMapping"},
        {"singular mapping", [](LayerSpec& l) { l.matrix[5] = 0.0; }, F3dResult::NoMappedField,
         "singular mapping"},
        {"projective mapping", [](LayerSpec& l) { l.matrix[3] = 0.5; }, F3dResult::NoMappedField,
         "not affine"},
        {"extents without voxels", [](LayerSpec& l) { l.extents = {0, 0, 0, 3, -1, 3}; },
         F3dResult::NoMappedField, "bad extents"},
        {"window beyond index range", [](LayerSpec& l) { l.dataWindow[3] = 2000000000; },
         F3dResult::NoMappedField, "bad data window"},
    };
    const kortest::TempDirectory directory;
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.label);
        LayerSpec layer = denseLayer();
        c.change(layer);
        const std::string path = directory.File("case.f3d");
        f3dtest::writeF3dTestFile(path, {layer});
        kortest::CapturedLog log;
        for (const bool headerOnly : {false, true}) {
            const f3dtest::Imported imported = importF3d(path, {{"density", 2}}, headerOnly);
            if (headerOnly &&
                (c.expected == F3dResult::BadLayout || c.expected == F3dResult::TooLarge)) {
                // Payloads are checked, and voxels counted, only when they are read.
                EXPECT_EQ(imported.result, F3dResult::Ok);
                continue;
            }
            EXPECT_EQ(imported.result, c.expected);
            for (const float* channel : imported.frame->channelData) {
                EXPECT_EQ(channel, nullptr);
            }
        }
        EXPECT_NE(log.Text().find(c.logText), std::string::npos) << log.Text();
    }
}

TEST(F3dRefusals, UnreadableFieldsAreListedFlagged) {
    LayerSpec frustum = denseLayer();
    frustum.partitionGroup = "camera.0";
    frustum.name = "fog";
    frustum.mappingType = "FrustumFieldMapping";
    const kortest::TempDirectory directory;
    const std::string path = directory.File("flagged.f3d");
    f3dtest::writeF3dTestFile(path, {frustum, denseLayer()});
    const auto channels = f3dtest::listChannels(path);
    const std::vector<std::pair<std::string, bool>> expected = {{"fog", true}, {"density", false}};
    EXPECT_EQ(channels, expected);
}

TEST(F3dRefusals, TruncatedAndForeignFilesAreRefusedCleanly) {
    const kortest::TempDirectory directory;
    const std::string whole = readBytes(f3dtest::samplePath("sparse_scalar.f3d"));
    ASSERT_GT(whole.size(), 1000u);
    for (size_t keep = 0; keep < whole.size(); keep += whole.size() / 13 + 1) {
        SCOPED_TRACE(keep);
        const std::string path = directory.Write("cut.f3d", whole.substr(0, keep));
        const f3dtest::Imported imported =
            importF3d(path, {{"density", 2}, {"temperature", 1}, {"velocity(x)", 4}});
        EXPECT_NE(imported.result, F3dResult::Ok);
        f3dtest::listChannels(path);
    }
    kortest::CapturedLog log;
    const std::string text = directory.Write("text.f3d", "not a volume at all\n");
    EXPECT_EQ(importF3d(text, {{"density", 2}}).result, F3dResult::CannotOpen);
    EXPECT_EQ(importF3d(directory.File("absent.f3d"), {{"density", 2}}).result,
              F3dResult::CannotOpen);
    EXPECT_TRUE(f3dtest::listChannels(directory.File("absent.f3d")).empty());
    EXPECT_NE(log.Text().find("is not an HDF5-encoded Field3D file"), std::string::npos);
}

TEST(F3dRefusals, FrameBoxBeyondTheBudgetIsRefusedBeforeAnyRead) {
    const f3dtest::Imported imported = importF3d(f3dtest::samplePath("dense_scalar.f3d"),
                                                 {{"density", 2}}, false, 24 * 20 * 16 - 1);
    EXPECT_EQ(imported.result, F3dResult::TooLarge);
    EXPECT_EQ(imported.frame->channelData[2], nullptr);
}

// A sparse field of empty blocks: a small file for a frame of 1100^3 voxels, between the
// former budget of 2^30 voxels and the frame's own limit.
std::string writeLargeEmptyField(const kortest::TempDirectory& directory) {
    LayerSpec layer;
    layer.className = "SparseField";
    layer.dataWindow = {0, 0, 0, 1099, 1099, 1099};
    layer.emptyBlocks = true;
    const std::string path = directory.File("large.f3d");
    f3dtest::writeF3dTestFile(path, {layer});
    return path;
}

TEST(F3dRefusals, HeaderOnlyImportIsNeverRefusedForSize) {
    const kortest::TempDirectory directory;
    const std::string path = writeLargeEmptyField(directory);
    // Before the fix both were refused as too large.
    const f3dtest::Imported header = importF3d(path, {{"density", 2}}, true, 1000);
    ASSERT_EQ(header.result, F3dResult::Ok);
    EXPECT_EQ(header.frame->gridSize[0], 1100);
    EXPECT_EQ(header.frame->gridSize[2], 1100);
    EXPECT_EQ(header.frame->channelMask, 1u << 2);
    EXPECT_EQ(importF3d(path, {{"density", 2}}, false, 1000).result, F3dResult::TooLarge);
}

TEST(F3dRefusals, ChannelThatCannotBeAllocatedGivesTheOutOfMemoryCode) {
    if (kortest::runsUnderSanitizer()) {
        GTEST_SKIP() << "a sanitizer runtime needs more address space than the limit leaves";
    }
    const kortest::TempDirectory directory;
    const std::string path = writeLargeEmptyField(directory);
    const int result = kortest::runWithAddressSpace(int64_t{2} << 30, [&] {
        return static_cast<int>(importF3d(path, {{"density", 2}}).result);
    });
    EXPECT_EQ(result, static_cast<int>(F3dResult::OutOfMemory));
}
