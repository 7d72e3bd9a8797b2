// SPDX-License-Identifier: Apache-2.0
// Frames built from several grids: the union box, resampling into the first grid's index
// space, staggered velocity brought to cell centres, which mapping wins a slot, header-only
// imports, and the refusals that end hostile or impossible files cleanly.
#include "plugins/vdbbridge/VdbFrameImport.h"
#include "plugins/vdbbridge/VdbGridCatalog.h"
#include "plugins/vdbbridge/VdbResults.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/LimitedProcess.h"
#include "tests/common/TempDirectory.h"
#include "tests/plugins/vdbbridge/VdbTestSupport.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>

namespace {

using vdbtest::importVdb;
using vdbtest::samplePath;

TEST(VdbImport, UnionOfBoxesHoldsGridsFarApart) {
    // density covers (0..9)^3, temperature (50..59)^3; both 1 + li or 5000 + li.
    const auto import = importVdb(samplePath("vdb/multi_res.vdb"), "2,density;1,temperature;");
    ASSERT_EQ(import.result, 0);
    EXPECT_EQ(import.frame->gridSize[0], 60);
    EXPECT_EQ(import.frame->gridSize[1], 60);
    EXPECT_EQ(import.frame->gridSize[2], 60);
    EXPECT_EQ(import.At(2, 0, 0, 0), 1.0f);
    EXPECT_EQ(import.At(2, 9, 9, 9), 1000.0f);
    EXPECT_EQ(import.At(1, 50, 50, 50), 5000.0f);
    EXPECT_EQ(import.At(1, 59, 52, 51), 5000.0f + 9 + 20 + 100);
    // Outside each grid's active voxels: the grid's background.
    EXPECT_EQ(import.At(2, 50, 50, 50), 0.0f);
    EXPECT_EQ(import.At(1, 9, 9, 9), 0.0f);
    EXPECT_EQ(import.frame->channelMask, (1u << 1) | (1u << 2));
}

TEST(VdbImport, GridOfOtherTransformIsResampledIntoTheFirstGridsSpace) {
    // temperature: voxel 0.2 shifted by 0.05, value 5000 + i + 10 j + 100 k, which trilinear
    // interpolation reproduces exactly inside the grid.
    const auto import = importVdb(samplePath("vdb/multi_xform.vdb"), "2,density;1,temperature;");
    ASSERT_EQ(import.result, 0);
    EXPECT_EQ(import.frame->gridSize[0], 20);
    for (const int i : {1, 5, 12, 18}) {
        for (const int j : {2, 9}) {
            for (const int k : {1, 17}) {
                // Frame voxel I sits at temperature index I / 2 - 1 / 4.
                const double expected =
                    5000.0 + (i / 2.0 - 0.25) + 10 * (j / 2.0 - 0.25) + 100 * (k / 2.0 - 0.25);
                EXPECT_NEAR(import.At(1, i, j, k), expected, 1e-3) << i << " " << j << " " << k;
            }
        }
    }
    // The first voxel lies half a temperature voxel outside, where the background weighs in.
    EXPECT_LT(import.At(1, 0, 0, 0), 5000.0f);

    // Mapped the other way round, the frame takes temperature's coarser space.
    const auto coarse = importVdb(samplePath("vdb/multi_xform.vdb"), "1,temperature;2,density;");
    ASSERT_EQ(coarse.result, 0);
    EXPECT_EQ(coarse.frame->gridSize[0], 10);
    EXPECT_FLOAT_EQ(coarse.frame->transform[0], 0.2f);
    EXPECT_FLOAT_EQ(coarse.frame->transform[9], 0.05f);
    EXPECT_EQ(coarse.At(1, 3, 4, 5), 5000.0f + 3 + 40 + 500);
}

TEST(VdbImport, StaggeredVelocityIsTheMeanOfTheTwoFacesOfEachCell) {
    const std::string path = samplePath("vdb/blender/fluid_data_0003.vdb");
    const auto import = importVdb(path, "4,velocity(x);5,velocity(y);6,velocity(z);2,density;");
    ASSERT_EQ(import.result, 0);

    openvdb::io::File file(path);
    file.open(false);
    const auto velocity = openvdb::gridPtrCast<openvdb::Vec3SGrid>(file.readGrid("velocity"));
    ASSERT_TRUE(velocity);
    const auto accessor = velocity->getConstAccessor();
    const auto face = [&](openvdb::Coord c, int axis) {
        openvdb::Vec3f value;
        return accessor.probeValue(c, value) ? double(value[axis]) : 0.0;
    };
    // Frame voxel (0, 0, 0) is index (1, 1, 1): velocity and density share that box.
    const openvdb::Coord origin(1, 1, 1);
    const int* size = import.frame->gridSize;
    for (int k = 0; k < size[2]; ++k) {
        for (int j = 0; j < size[1]; ++j) {
            for (int i = 0; i < size[0]; ++i) {
                const openvdb::Coord c = origin + openvdb::Coord(i, j, k);
                for (int axis = 0; axis < 3; ++axis) {
                    openvdb::Coord next = c;
                    next[axis] += 1;
                    const float expected = float(0.5 * face(c, axis) + 0.5 * face(next, axis));
                    ASSERT_EQ(import.At(4 + axis, i, j, k), expected) << c << " axis " << axis;
                }
            }
        }
    }
}

TEST(VdbImport, FirstMappingWhoseGridExistsFillsTheSlot) {
    const std::string path = samplePath("vdb/smoke.vdb");
    // density (10, 5, -3) is 1/32768, temperature there 293.
    EXPECT_EQ(importVdb(path, "2,density;2,temperature;").At(2, 0, 0, 0), 1.0f / 32768);
    EXPECT_EQ(importVdb(path, "2,missing;2,temperature;").At(2, 0, 0, 0), 293.0f);
    // Slots the frame cannot hold are skipped; with nothing else the import fails.
    EXPECT_EQ(importVdb(path, "18,density;40,temperature;-1,fuel;").result,
              vdbbridge::VdbNoMappedGrid);
    EXPECT_EQ(importVdb(path, "2,missing;").result, vdbbridge::VdbNoMappedGrid);
}

TEST(VdbImport, FactorScalesTheValues) {
    std::vector<CacheIO::GridMapping> mappings;
    mappings.emplace_back("temperature", 1, 0.5f);
    const auto import = importVdb(samplePath("vdb/smoke.vdb"), mappings);
    ASSERT_EQ(import.result, 0);
    EXPECT_EQ(import.At(1, 0, 0, 0), 146.5f);
}

TEST(VdbImport, HeaderOnlyGivesTheSameHeaderAndNoVoxels) {
    const std::string mapping = "2,density;1,temperature;10,fuel;4,vel(x);5,vel(y);6,vel(z);";
    for (const char* file : {"vdb/smoke.vdb", "vdb/smoke_affine.vdb", "vdb/multi_xform.vdb",
                             "vdb/blender/fluid_data_0006.vdb"}) {
        SCOPED_TRACE(file);
        const auto full = importVdb(samplePath(file), mapping);
        const auto header = importVdb(samplePath(file), mapping, true);
        ASSERT_EQ(full.result, 0);
        ASSERT_EQ(header.result, 0);
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_EQ(header.frame->gridSize[axis], full.frame->gridSize[axis]);
        }
        for (int f = 0; f < 12; ++f) {
            EXPECT_EQ(header.frame->transform[f], full.frame->transform[f]);
        }
        EXPECT_EQ(header.frame->channelMask, full.frame->channelMask);
        for (float* channel : header.frame->channelData) {
            EXPECT_EQ(channel, nullptr);
        }
    }
}

TEST(VdbImport, HeaderOnlyReadsGridsOfFilesWithoutStatistics) {
    const kortest::TempDirectory temp;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    grid->tree().setValue(openvdb::Coord(-3, 2, 5), 1.0f);
    grid->tree().setValue(openvdb::Coord(4, 9, 6), 2.0f);
    const std::string path = temp.File("nostats.vdb");
    openvdb::io::File file(path);
    file.setGridStatsMetadataEnabled(false);
    file.write(openvdb::GridPtrVec{grid});

    const auto header = importVdb(path, "2,density;", true);
    ASSERT_EQ(header.result, 0);
    EXPECT_EQ(header.frame->gridSize[0], 8);
    EXPECT_EQ(header.frame->gridSize[1], 8);
    EXPECT_EQ(header.frame->gridSize[2], 2);
    EXPECT_EQ(header.frame->channelData[2], nullptr);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(VdbImport, BrokenFilesEndInAResultCode) {
    const kortest::TempDirectory temp;
    const std::string smoke = readBytes(samplePath("vdb/smoke.vdb"));
    const std::string mapping = "2,density;1,temperature;4,vel(x);5,vel(y);6,vel(z);";
    struct Case {
        const char* label;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"not a VDB", "just some text, nothing like a volume"},
        {"magic only", smoke.substr(0, 8)},
        {"header cut", smoke.substr(0, 40)},
        {"descriptors cut", smoke.substr(0, 300)},
        {"voxels cut", smoke.substr(0, smoke.size() / 2)},
        {"last bytes missing", smoke.substr(0, smoke.size() - 16)},
    };
    for (const Case& c : cases) {
        const auto import = importVdb(temp.Write("broken.vdb", c.bytes), mapping);
        EXPECT_NE(import.result, 0) << c.label;
    }
    EXPECT_EQ(importVdb(temp.File("absent.vdb"), mapping).result, vdbbridge::VdbUnreadableFile);
}

// The length field in front of the first occurrence of text, set to length.
std::string withLength(std::string bytes, const std::string& text, uint32_t length) {
    const size_t at = bytes.find(text);
    EXPECT_NE(at, std::string::npos) << text;
    std::memcpy(&bytes[at - 4], &length, 4);
    return bytes;
}

TEST(VdbImport, LengthsBeyondTheFileAreRefusedBeforeAnyAllocation) {
    const kortest::TempDirectory temp;
    const std::string smoke = readBytes(samplePath("vdb/smoke.vdb"));
    // Before the check, OpenVDB allocated each of these lengths before reading.
    const std::string cases[] = {
        withLength(smoke, "sample_description", 0x7FFFFFF0),          // file metadata name
        withLength(smoke, std::string("density\x10", 8), 0xFFFFFFF0), // descriptor name
        withLength(smoke, "Tree_float_5_4_3", 0x40000000),            // grid type
        withLength(smoke, "file_compression", 0x7FFFFFF0),            // grid metadata name
        withLength(smoke, "UniformScaleTranslateMap", 0x7FFFFFF0),    // transform type
    };
    for (const std::string& bytes : cases) {
        const kortest::CapturedLog log;
        EXPECT_EQ(importVdb(temp.Write("long.vdb", bytes), "2,density;").result,
                  vdbbridge::VdbUnreadableFile);
        EXPECT_NE(log.Text().find("length beyond the end of the file"), std::string::npos);
    }
}

TEST(VdbImport, DelayedLoadTablesOpenVdbWouldMisreadAreRefused) {
    const kortest::TempDirectory temp;
    const std::string smoke = readBytes(samplePath("vdb/smoke.vdb"));
    // Value: length, leaf count, mask block size, then the mask's Blosc header, whose
    // compressed size sits at bytes 12 to 15.
    const size_t value = smoke.find("__delayedload") + std::strlen("__delayedload");
    const auto patched = [&](size_t at, uint32_t word) {
        std::string bytes = smoke;
        std::memcpy(&bytes[value + at], &word, 4);
        return bytes;
    };
    uint32_t length = 0;
    std::memcpy(&length, &smoke[value], 4);
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        // Blosc trusts the compressed size when it decompresses.
        {patched(4 + 8 + 12, 0x7FFFFFFF), "broken Blosc buffer in the delayed-load table"},
        // OpenVDB sized its arrays by the count: 2 GiB of mask and 16 GiB of sizes.
        {patched(4, 0x7FFFFFFF), "delayed-load table counts more leaves than the file"},
        // OpenVDB reads the table by its contents, so it read on into the next metadata and
        // took its bytes for lengths.
        {patched(0, length - 4), "delayed-load table cut short"},
    };
    for (const Case& c : cases) {
        const kortest::CapturedLog log;
        EXPECT_EQ(importVdb(temp.Write("delayed.vdb", c.bytes), "2,density;").result,
                  vdbbridge::VdbUnreadableFile);
        EXPECT_NE(log.Text().find(c.message), std::string::npos) << c.message;
    }
}

TEST(VdbImport, FramesBeyondTheFrameLimitAreRefusedButTheirHeadersAreRead) {
    const kortest::TempDirectory temp;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    grid->tree().setValue(openvdb::Coord(0, 0, 0), 1.0f);
    grid->tree().setValue(openvdb::Coord(2000, 2000, 2000), 1.0f);
    const std::string path = temp.File("sparse.vdb");
    openvdb::io::File(path).write(openvdb::GridPtrVec{grid});
    const kortest::CapturedLog log;
    EXPECT_EQ(importVdb(path, "2,density;").result, vdbbridge::VdbFrameTooLarge);
    EXPECT_NE(log.Text().find(": a dense frame of 2001 x 2001 x 2001 voxels exceeds the limit "
                              "of 2147483647 voxels\n"),
              std::string::npos);
    // Before the fix a header-only import was refused for size too.
    const auto header = importVdb(path, "2,density;", true);
    ASSERT_EQ(header.result, 0);
    EXPECT_EQ(header.frame->gridSize[0], 2001);
    EXPECT_EQ(header.frame->gridSize[2], 2001);
    EXPECT_EQ(header.frame->channelMask, 1u << 2);
    // The caller's budget decides, here below the frame's own limit.
    grid->tree().setValue(openvdb::Coord(2000, 2000, 2000), 0.0f);
    grid->tree().setValueOff(openvdb::Coord(2000, 2000, 2000));
    grid->tree().setValue(openvdb::Coord(1100, 1100, 1100), 1.0f);
    openvdb::io::File(path).write(openvdb::GridPtrVec{grid});
    std::vector<CacheIO::GridMapping> mappings = vdbtest::parseMappings("2,density;");
    FluxaFrameData frame;
    int orientation = -1;
    EXPECT_EQ(vdbbridge::importFrame(path.c_str(), frame, orientation, false, mappings.data(), 1,
                                     int64_t{1} << 20),
              vdbbridge::VdbFrameTooLarge);
    EXPECT_NE(log.Text().find("1101 x 1101 x 1101 voxels exceeds the limit of 1048576"),
              std::string::npos);
}

// A frame within the limit whose channel cannot be allocated ends in the out-of-memory
// code. The child process gets too little address space for one channel of 1.3 G voxels.
TEST(VdbImport, ChannelThatCannotBeAllocatedGivesTheOutOfMemoryCode) {
    if (kortest::runsUnderSanitizer()) {
        GTEST_SKIP() << "a sanitizer runtime needs more address space than the limit leaves";
    }
    const kortest::TempDirectory temp;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    grid->tree().setValue(openvdb::Coord(0, 0, 0), 1.0f);
    grid->tree().setValue(openvdb::Coord(1100, 1100, 1100), 1.0f);
    const std::string path = temp.File("large.vdb");
    openvdb::io::File(path).write(openvdb::GridPtrVec{grid});
    const int result = kortest::runWithAddressSpace(
        int64_t{2} << 30, [&] { return importVdb(path, "2,density;").result; });
    EXPECT_EQ(result, vdbbridge::VdbOutOfMemory);
}

TEST(VdbImport, FrustumTransformIsRefused) {
    const kortest::TempDirectory temp;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    grid->tree().setValue(openvdb::Coord(1, 1, 1), 1.0f);
    const openvdb::BBoxd box(openvdb::Vec3d(0), openvdb::Vec3d(10));
    grid->setTransform(openvdb::math::Transform::createFrustumTransform(box, 0.5, 2.0, 0.1));
    const std::string path = temp.File("frustum.vdb");
    openvdb::io::File(path).write(openvdb::GridPtrVec{grid});
    EXPECT_EQ(importVdb(path, "2,density;").result, vdbbridge::VdbUnsupportedTransform);
}

// Each of these files crashed OpenVDB's reader before the stored tree was checked (under
// ASan and UBSan): blocks larger than their node read into it, stated sizes allocated
// before anything was read, a root table count that reads tiles past the end of the file.
TEST(VdbImport, StoredTreesThatDoNotFitAreRefusedBeforeOpenVdbReadsThem) {
    struct Case {
        const char* file;
        const char* mapping;
        const char* reason;
    };
    const Case cases[] = {
        {"vdb-node-block-beyond-node.vdb", "2,density;",
         "uncompressed value block of the wrong size"},
        {"vdb-vec3-node-block-beyond-node.vdb", "4,vel(x);",
         "uncompressed value block of the wrong size"},
        {"vdb-leaf-block-beyond-leaf.vdb", "2,density;",
         "uncompressed value block of the wrong size"},
        {"vdb-blosc-size-terabytes.vdb", "2,density;",
         "compressed value block beyond the end of the file"},
        {"vdb-root-tile-count-huge.vdb", "2,density;", "root table beyond the end of the file"},
        {"vdb-zip-size-terabytes.vdb", "4,velocity(x);",
         "compressed value block beyond the end of the file"},
    };
    for (const Case& c : cases) {
        const kortest::CapturedLog log;
        EXPECT_EQ(importVdb(samplePath(std::string("../broken/") + c.file), c.mapping).result,
                  vdbbridge::VdbUnreadableFile)
            << c.file;
        EXPECT_NE(log.Text().find(c.reason), std::string::npos) << c.file << ": " << log.Text();
    }
}

TEST(VdbImport, BloscHeaderThatDoesNotDescribeItsBlockIsRefused) {
    const kortest::TempDirectory temp;
    std::string bytes = readBytes(samplePath("vdb/seq/smoke.0001.vdb"));
    // The first leaf's block: its size, then the Blosc header, whose compressed size sits at
    // header bytes 12 to 15.
    const size_t firstLeafBlock = 38117;
    const uint32_t statedBytes = 0x7FFFFFFF;
    std::memcpy(&bytes[firstLeafBlock + 8 + 12], &statedBytes, 4);
    const kortest::CapturedLog log;
    EXPECT_EQ(importVdb(temp.Write("blosc.vdb", bytes), "2,density;").result,
              vdbbridge::VdbUnreadableFile);
    EXPECT_NE(log.Text().find("broken Blosc value block"), std::string::npos);
}

// OpenVDB's root takes a child only once the child's topology is read: a block it could not
// decompress there leaked the whole branch. The check decompresses topology blocks first.
TEST(VdbImport, TopologyBlockThatDoesNotDecompressIsRefusedBeforeOpenVdbReadsIt) {
    const kortest::TempDirectory temp;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    // Active tiles in the upper node, so its value block has something to compress.
    grid->tree().addTile(1, openvdb::Coord(0, 0, 0), 1.0f, true);
    grid->tree().addTile(1, openvdb::Coord(128, 0, 0), 2.0f, true);
    grid->tree().setValue(openvdb::Coord(300, 0, 0), 3.0f);
    const std::string path = temp.File("tiles.vdb");
    openvdb::io::File file(path);
    file.setCompression(openvdb::io::COMPRESS_ZIP);
    file.write(openvdb::GridPtrVec{grid});
    ASSERT_EQ(importVdb(path, "2,density;", true).result, 0);

    // The first zlib stream of the file is the upper node's values (metadata uses Blosc).
    std::string bytes = readBytes(path);
    const size_t stream = bytes.find("\x78\x9c");
    ASSERT_NE(stream, std::string::npos);
    bytes[stream] = 0;
    const kortest::CapturedLog log;
    EXPECT_EQ(importVdb(temp.Write("broken.vdb", bytes), "2,density;").result,
              vdbbridge::VdbUnreadableFile);
    EXPECT_NE(log.Text().find("broken zip value block"), std::string::npos) << log.Text();
}

// Grids sharing a tree are stored once: the instance is read through its parent's tree.
TEST(VdbImport, InstanceGridReadsItsParentsTree) {
    const kortest::TempDirectory temp;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    grid->tree().setValue(openvdb::Coord(3, 4, 5), 2.5f);
    openvdb::FloatGrid::Ptr instance = grid->copy();
    instance->setName("smoke");
    const std::string path = temp.File("instanced.vdb");
    openvdb::io::File(path).write(openvdb::GridPtrVec{grid, instance});
    ASSERT_TRUE(vdbbridge::readFileInfo(path).grids.at(1).descriptor.isInstance());
    const auto import = importVdb(path, "2,smoke;");
    ASSERT_EQ(import.result, 0);
    EXPECT_EQ(import.Voxels(), 1);
    EXPECT_EQ(import.At(2, 0, 0, 0), 2.5f);
}

} // namespace
