// SPDX-License-Identifier: Apache-2.0
// Every sample VDB against the JSON written beside it by the library that wrote the file:
// the channels it offers, and each grid imported alone, whose frame must give back the
// grid's box, transform and sample values.
#include "plugins/vdbbridge/VdbChannelNames.h"
#include "tests/plugins/vdbbridge/VdbTestSupport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using boost::property_tree::ptree;

std::vector<std::string> sampleJsons() {
    std::vector<std::string> files;
    const std::filesystem::path root = vdbtest::samplePath("vdb");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().extension() == ".json") {
            files.push_back(
                std::filesystem::relative(entry.path(), vdbtest::samplePath("")).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string vdbOf(const std::string& json) {
    return vdbtest::samplePath(json.substr(0, json.size() - 4) + "vdb");
}

bool isVector(const std::string& valueType) {
    return valueType == "vec3s" || valueType == "vec3d";
}

class VdbSample : public ::testing::TestWithParam<std::string> {};

TEST_P(VdbSample, ChannelsFollowStoredOrderWithFlags) {
    const ptree json = vdbtest::readSampleJson(GetParam());
    std::vector<vdbbridge::VdbChannel> expected;
    for (const auto& item : json.get_child("grids")) {
        const ptree& grid = item.second;
        const std::string name = grid.get<std::string>("name");
        const std::string type = grid.get<std::string>("value_type");
        if (isVector(type)) {
            for (const char* suffix : {"(x)", "(y)", "(z)"}) {
                expected.push_back({name + suffix, true});
            }
            continue;
        }
        const bool density =
            (type == "float" || type == "double") && grid.get<std::string>("class") != "level set";
        expected.push_back({name, !density});
    }
    const auto channels = vdbbridge::listChannels(vdbbridge::readFileInfo(vdbOf(GetParam())).grids);
    ASSERT_EQ(channels.size(), expected.size());
    for (size_t c = 0; c < channels.size(); ++c) {
        EXPECT_EQ(channels[c].name, expected[c].name);
        EXPECT_EQ(channels[c].flag, expected[c].flag) << channels[c].name;
    }
}

void expectTransform(const vdbtest::Import& import, const ptree& grid, const int (&min)[3]) {
    std::vector<std::vector<double>> rows;
    for (const auto& row : grid.get_child("transform.matrix_4x4")) {
        rows.push_back(vdbtest::numbers(row.second));
    }
    const float* t = import.frame->transform;
    for (int c = 0; c < 3; ++c) {
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_EQ(t[3 * axis + c], static_cast<float>(rows[axis][c]));
        }
        const double translation =
            rows[3][c] + min[0] * rows[0][c] + min[1] * rows[1][c] + min[2] * rows[2][c];
        EXPECT_FLOAT_EQ(t[9 + c], static_cast<float>(translation));
    }
}

TEST_P(VdbSample, EachGridAloneGivesItsBoxTransformAndValues) {
    const ptree json = vdbtest::readSampleJson(GetParam());
    for (const auto& item : json.get_child("grids")) {
        const ptree& grid = item.second;
        const std::string name = grid.get<std::string>("name");
        SCOPED_TRACE(name);
        const bool vector = isVector(grid.get<std::string>("value_type"));
        const std::string mapping =
            vector ? "4," + name + "(x);5," + name + "(y);6," + name + "(z);" : "2," + name + ";";
        const vdbtest::Import import = vdbtest::importVdb(vdbOf(GetParam()), mapping);
        ASSERT_EQ(import.result, 0);
        EXPECT_EQ(import.orientation, 0);

        int min[3] = {0, 0, 0};
        const auto box = grid.get_child_optional("active_bbox.min");
        if (!box) {
            EXPECT_EQ(import.Voxels(), 0);
            EXPECT_TRUE(import.frame->channelMask & (1u << 2));
            continue;
        }
        const auto boxMin = vdbtest::numbers(*box);
        const auto dims = vdbtest::numbers(grid.get_child("active_bbox.dim"));
        for (int axis = 0; axis < 3; ++axis) {
            min[axis] = int(boxMin[axis]);
            EXPECT_EQ(import.frame->gridSize[axis], int(dims[axis]));
        }
        expectTransform(import, grid, min);

        // Staggered samples are face values; their centring is checked on its own.
        const bool staggered = grid.get<std::string>("class") == "staggered";
        for (const auto& sampleItem : grid.get_child("samples")) {
            const ptree& sample = sampleItem.second;
            const auto ijk = vdbtest::numbers(sample.get_child("ijk"));
            const int i = int(ijk[0]) - min[0], j = int(ijk[1]) - min[1], k = int(ijk[2]) - min[2];
            double world[3];
            import.World(i, j, k, world);
            const auto expectedWorld = vdbtest::numbers(sample.get_child("world"));
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(world[c], expectedWorld[c], 1e-5 * (1.0 + std::fabs(expectedWorld[c])));
            }
            if (staggered) {
                continue;
            }
            if (vector) {
                const auto value = vdbtest::numbers(sample.get_child("value"));
                for (int c = 0; c < 3; ++c) {
                    EXPECT_EQ(import.At(4 + c, i, j, k), static_cast<float>(value[c]));
                }
            } else {
                const double value = vdbtest::number(sample.get_child("value"));
                EXPECT_EQ(import.At(2, i, j, k), static_cast<float>(value));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, VdbSample, ::testing::ValuesIn(sampleJsons()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

} // namespace
