// SPDX-License-Identifier: Apache-2.0
// kortool as a user runs it: the installed-style binary in a shell, its output, its exit
// status, and the files it writes, read back by the independent reader and by OpenVDB.
#include "korloader/IKor.h"
#include "korloader/IKorWriter.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/common/IndependentKor.h"
#include "tests/common/TempDirectory.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>
#include <sys/wait.h>
#include <vector>

namespace {

const std::string Blender = KOR_SAMPLES_DIR "/vdb/blender/fluid_data_0003.vdb";

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

ToolRun kortool(const std::string& arguments) {
    static kortest::TempDirectory capture;
    const std::string out = capture.File("out"), err = capture.File("err");
    const int raw = std::system(
        (std::string(KORTOOL) + " " + arguments + " >" + out + " 2>" + err + " </dev/null")
            .c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128, readFile(out), readFile(err)};
}

// The smoke and temperature of the Blender frame as the library imports them.
std::map<int, std::vector<float>> importedChannels(int size[3]) {
    initalizeKoraLoader(nullptr, nullptr, 0);
    IKor* frame = newIKor(Blender.c_str());
    EXPECT_NE(frame, nullptr);
    frame->getGridSize(size);
    const size_t voxels = size_t(size[0]) * size_t(size[1]) * size_t(size[2]);
    std::map<int, std::vector<float>> channels;
    for (const int slot : {FluxaEnum::Temperature, FluxaEnum::Smoke}) {
        const float* values = frame->getChannel(slot);
        channels[slot].assign(values, values + voxels);
    }
    deleteIKor(frame);
    return channels;
}

TEST(Kortool, BlenderFrameConvertsToKorAndBackToVdb) {
    kortest::TempDirectory directory;
    const std::string kor = directory.File("smoke.0003.kor");
    const ToolRun toKor = kortool("convert " + Blender + " " + kor + " --bits 12");
    ASSERT_EQ(toKor.status, 0) << toKor.err;
    EXPECT_EQ(toKor.out.rfind("converted 1 of 1 frame to ", 0), 0u) << toKor.out;

    int size[3];
    const std::map<int, std::vector<float>> imported = importedChannels(size);
    const kortest::IndependentFrame frame = kortest::readIndependently(kor);
    EXPECT_EQ(std::vector<int>(frame.gridSize, frame.gridSize + 3),
              std::vector<int>(size, size + 3));
    for (const auto& [slot, values] : imported) {
        const std::vector<float>& decoded = frame.channels.at(slot);
        const auto range = std::minmax_element(values.begin(), values.end());
        const float step = (*range.second - *range.first) / 4096.0f;
        for (size_t v = 0; v < values.size(); ++v) {
            ASSERT_NEAR(decoded[v], values[v], 0.5f * step + 1e-6f) << slot << " voxel " << v;
        }
    }

    const std::string vdb = directory.File("back.vdb");
    ASSERT_EQ(kortool("convert " + kor + " " + vdb).status, 0);
    openvdb::initialize();
    openvdb::io::File file(vdb);
    file.open();
    for (const auto& [slot, name] : {std::pair<int, const char*>{FluxaEnum::Smoke, "Smoke_flx"},
                                     {FluxaEnum::Temperature, "Temperature_flx"}}) {
        const auto grid = openvdb::gridPtrCast<openvdb::FloatGrid>(file.readGrid(name));
        ASSERT_TRUE(grid) << name;
        const openvdb::CoordBBox box = grid->evalActiveVoxelBoundingBox();
        EXPECT_EQ(box.dim(), openvdb::Coord(size[0], size[1], size[2])) << name;
        const auto accessor = grid->getConstAccessor();
        const std::vector<float>& decoded = frame.channels.at(slot);
        for (int k = 0; k < size[2]; ++k) {
            for (int j = 0; j < size[1]; ++j) {
                for (int i = 0; i < size[0]; ++i) {
                    const size_t v =
                        size_t(i) + size_t(size[0]) * (size_t(j) + size_t(size[1]) * size_t(k));
                    ASSERT_EQ(accessor.getValue(box.min().offsetBy(i, j, k)), decoded[v]) << name;
                }
            }
        }
    }
}

std::string writeFrame(const kortest::TempDirectory& directory, const std::string& name) {
    IKorWriter* writer = newIKorWriter();
    std::vector<float> smoke(4 * 3 * 2);
    for (size_t v = 0; v < smoke.size(); ++v) {
        smoke[v] = float(v) / 4.0f;
    }
    std::vector<float> positions = {0, 0, 0, 1, 2, 3};
    std::vector<long long> ids = {7, 9};
    writer->setGridSize(4, 3, 2);
    writer->setChannel(FluxaEnum::Smoke, smoke.data(), 32, 0, 1);
    writer->addParticleGroup("sparks", 2);
    writer->setParticleChannel(0, 0, positions.data(), 4, 32);
    writer->setParticleChannel(0, 10, ids.data(), 0, 32);
    const std::string path = directory.File(name);
    EXPECT_EQ(writer->save(path.c_str()), 1);
    deleteIKorWriter(writer);
    return path;
}

TEST(Kortool, InfoJsonKeepsItsKeys) {
    kortest::TempDirectory directory;
    const std::string path = writeFrame(directory, "a.kor");
    const ToolRun one = kortool("info --json " + path);
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("\"path\": \"" + path +
                           "\",\n  \"format\": \"kor\",\n  \"grid\": [\n    4,\n    3,\n    2\n  "
                           "],\n  \"transform\": ["),
              std::string::npos)
        << one.out;
    EXPECT_NE(one.out.find("\"slot\": 2,\n      \"name\": \"Smoke\",\n      \"min\": 0.0,\n      "
                           "\"max\": 5.75,\n      \"mean\": 2.875\n"),
              std::string::npos)
        << one.out;
    EXPECT_NE(one.out.find("\"name\": \"sparks\",\n      \"count\": 2,\n      \"channels\": [\n    "
                           "    \"position\",\n        \"id\"\n      ]"),
              std::string::npos)
        << one.out;
    const ToolRun two = kortool("info --json " + path + " " + path);
    EXPECT_EQ(two.out.rfind("[\n  {", 0), 0u) << two.out;
}

// verify is trusted by pipelines: every kind of unsound file must give a non-zero status.
TEST(Kortool, VerifyFailsOnEveryUnsoundFile) {
    kortest::TempDirectory directory;
    const std::string sound = writeFrame(directory, "sound.kor");
    const std::string bytes = readFile(sound);
    const std::string truncated =
        directory.Write("truncated.kor", bytes.substr(0, bytes.size() / 2));
    std::string flipped = bytes;
    // The smoke record's raw floats start 7 bytes into its payload; corrupt the block's
    // element count instead, so that the codec refuses it.
    const size_t stream = flipped.find(std::string("\x01\xFC\x00", 3));
    ASSERT_NE(stream, std::string::npos);
    flipped[stream + 6] = '\x7F';
    const std::string corrupt = directory.Write("corrupt.kor", flipped);
    // A container whose second zone is cut short: the channel still decodes (the zone is
    // lost), and only the log tells.
    using kortest::KorBytes;
    const std::string zone = kortest::rawStream({1, 2});
    const std::string container = KorBytes()
                                      .u16(0xFC02)
                                      .u16(2)
                                      .i32(0)
                                      .i32(2)
                                      .i32(0)
                                      .i32(int32_t(zone.size()))
                                      .raw(zone)
                                      .raw(kortest::rawStream({3, 4}).substr(0, 11))
                                      .bytes();
    const std::string records = KorBytes().i32(1).u32(1u << 2).bytes() +
                                kortest::gridTag(4, 1, 1, kortest::gridRecord(2, container));
    const std::string lostZone =
        directory.Write("zone.kor", kortest::korFile(kortest::korHeader(records), ""));

    const ToolRun good = kortool("verify " + sound + " " + Blender);
    EXPECT_EQ(good.status, 0) << good.out << good.err;
    EXPECT_NE(good.out.find("OK      " + sound + " (grid channels: 1, particle groups: 1)"),
              std::string::npos)
        << good.out;
    for (const std::string& bad : {truncated, corrupt, lostZone, directory.File("missing.kor")}) {
        const ToolRun run = kortool("verify " + sound + " " + bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_NE(run.out.find("FAILED  " + bad + ": "), std::string::npos) << run.out;
    }
}

TEST(Kortool, PreviewWritesAPngOfTheChosenSlice) {
    kortest::TempDirectory directory;
    const std::string path = writeFrame(directory, "p.kor");
    const std::string png = directory.File("p.png");
    const ToolRun run = kortool("preview " + path + " -o " + png + " --axis y --slice 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Smoke y = 2: values 2 .. 5.75, density colours over 2 .. 5.75\nwrote " +
                           png + " (256 x 128 pixels)\n");
    EXPECT_EQ(readFile(png).substr(1, 3), "PNG");
    EXPECT_NE(kortool("preview " + path + " -o " + png + " --slice 3").status, 0);
    EXPECT_NE(kortool("preview " + path + " -o " + png + " --channel Fuel").status, 0);
}

TEST(Kortool, ConvertsSequencesKeepingParticles) {
    kortest::TempDirectory directory;
    writeFrame(directory, "s.0007.kor");
    writeFrame(directory, "s.0012.kor");
    const ToolRun run = kortool("convert " + directory.File("s.####.kor") + " " +
                                directory.File("out/t.####.kor") + " --threads 2");
    ASSERT_EQ(run.status, 0) << run.err;
    const kortest::IndependentFrame copy =
        kortest::readIndependently(directory.File("out/t.0012.kor"));
    EXPECT_EQ(copy.frameNumber, 12);
    ASSERT_EQ(copy.groups.size(), 1u);
    EXPECT_EQ(copy.groups[0].channels.at(10),
              std::string("\x07\0\0\0\0\0\0\0\x09\0\0\0\0\0\0\0", 16));
    EXPECT_TRUE(std::filesystem::exists(directory.File("out/t.0007.kor")));
    EXPECT_NE(
        kortool("convert " + directory.File("s.####.kor") + " " + directory.File("one.kor")).status,
        0);
}

TEST(Kortool, ListsForeignChannelsAndRefusesBadCommandLines) {
    const ToolRun channels = kortool("channels " + Blender);
    ASSERT_EQ(channels.status, 0) << channels.err;
    EXPECT_NE(channels.out.find("velocity(x)              flagged\n"), std::string::npos);
    EXPECT_NE(channels.out.find("\ndensity\n"), std::string::npos);
    EXPECT_NE(channels.out.find("default mapping: 2,density;1,temperature;\n"), std::string::npos);
    for (const char* command : {"--help", "info --help", "verify --help", "convert --help",
                                "preview --help", "channels --help"}) {
        const ToolRun help = kortool(command);
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("Usage"), std::string::npos) << command;
    }
    for (const char* bad :
         {"", "frobnicate", "info", "convert a.kor", "convert a.kor b.txt", "preview x.kor",
          "preview x.kor -o y.png --axis w", "convert a.kor b.kor --bits 40", "channels x.kor"}) {
        const ToolRun run = kortool(bad);
        EXPECT_NE(run.status, 0) << bad;
        EXPECT_FALSE(run.err.empty()) << bad;
        EXPECT_LT(run.status, 128) << bad << " crashed";
    }
}

} // namespace
