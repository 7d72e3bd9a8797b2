// SPDX-License-Identifier: Apache-2.0
// Every field of every sample cache, imported alone, reproduces the values and voxel
// centres that Field3D itself reports for it (the JSON beside each file): exactly for
// float and double data, bit for bit for half data.
#include "plugins/f3dbridge/HalfFloat.h"
#include "tests/common/CapturedOutput.h"
#include "tests/plugins/f3dbridge/F3dTestSupport.h"
#include "tests/plugins/f3dbridge/SampleJson.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>

using f3dtest::importF3d;
using f3dtest::samplePath;

namespace {

const char* const SampleFiles[] = {
    "dense_scalar", "dense_vector",   "sparse_scalar",  "half_and_double", "mixed",
    "edge_cases",   "seq/smoke.0001", "seq/smoke.0002", "seq/smoke.0003",
};

// Field3D stores no value for a field as a whole: a name is qualified by its partition
// only where it occurs in several.
std::string channelName(const JsonValue& json, const JsonValue& field) {
    std::set<std::string> partitions;
    for (const JsonValue& other : json["fields"].items) {
        if (other["name"].text == field["name"].text) {
            partitions.insert(other["partition"].text);
        }
    }
    if (partitions.size() > 1) {
        return field["partition"].text + "/" + field["name"].text;
    }
    return field["name"].text;
}

// A half sample carries its bits; the float the frame must hold is their exact value.
float expectedValue(const JsonValue& value) {
    if (value.kind == JsonValue::Kind::Object) {
        const uint16_t bits = static_cast<uint16_t>(std::stoul(value["bits"].text, nullptr, 16));
        EXPECT_EQ(halfToFloat(bits), static_cast<float>(value["value"].number));
        return halfToFloat(bits);
    }
    return static_cast<float>(value.number);
}

struct FieldCase {
    std::string file;
    JsonValue json;
    JsonValue field;
};

std::vector<FieldCase> allFields() {
    std::vector<FieldCase> cases;
    for (const char* file : SampleFiles) {
        const JsonValue json = readJsonFile(samplePath(std::string(file) + ".json"));
        for (const JsonValue& field : json["fields"].items) {
            cases.push_back({std::string(file) + ".f3d", json, field});
        }
    }
    return cases;
}

void checkField(const FieldCase& c) {
    SCOPED_TRACE(c.file + " " + c.field["hdf5_group"].text);
    const bool vector = c.field["components"].number == 3;
    const std::string name = channelName(c.json, c.field);
    const f3dtest::Mappings mappings =
        vector ? f3dtest::Mappings{{name + "(x)", 4}, {name + "(y)", 5}, {name + "(z)", 6}}
               : f3dtest::Mappings{{name, 2}};
    const f3dtest::Imported imported = importF3d(samplePath(c.file), mappings);
    ASSERT_EQ(imported.result, F3dResult::Ok);
    const FluxaFrameData& frame = *imported.frame;
    EXPECT_EQ(frame.channelMask, vector ? 0x70u : 0x4u);

    const JsonValue& windowMin = c.field["data_window"]["min"];
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(frame.gridSize[axis], c.field["data_window_size"][axis].number);
    }
    const auto frameIndex = [&](const JsonValue& ijk) {
        return imported.index(static_cast<int64_t>(ijk[0].number - windowMin[0].number),
                              static_cast<int64_t>(ijk[1].number - windowMin[1].number),
                              static_cast<int64_t>(ijk[2].number - windowMin[2].number));
    };

    const JsonValue& samples =
        c.field.has("centered_samples") ? c.field["centered_samples"] : c.field["samples"];
    ASSERT_GT(samples.size(), 0u);
    for (const JsonValue& sample : samples.items) {
        const int64_t index = frameIndex(sample["ijk"]);
        if (vector) {
            for (int component = 0; component < 3; ++component) {
                EXPECT_EQ(frame.channelData[4 + component][index],
                          expectedValue(sample["value"][component]))
                    << "component " << component << " at index " << index;
            }
        } else {
            EXPECT_EQ(frame.channelData[2][index], expectedValue(sample["value"]))
                << "at index " << index;
        }
    }

    for (const JsonValue& centre : c.field["voxel_centers_world"].items) {
        const JsonValue& ijk = centre["ijk"];
        for (int axis = 0; axis < 3; ++axis) {
            double world = frame.transform[9 + axis];
            for (int e = 0; e < 3; ++e) {
                world += (ijk[e].number - windowMin[e].number) * frame.transform[e * 3 + axis];
            }
            EXPECT_NEAR(world, centre["world"][axis].number, 1e-5) << "axis " << axis;
        }
    }
}

} // namespace

TEST(F3dSamples, EveryFieldReproducesFieldThreeDsValuesAndVoxelCentres) {
    const std::vector<FieldCase> cases = allFields();
    ASSERT_GE(cases.size(), 20u);
    for (const FieldCase& c : cases) {
        checkField(c);
    }
}

TEST(F3dSamples, HeaderOnlyGivesTheSameBoxAndTransformWithoutChannels) {
    const std::string path = samplePath("dense_scalar.f3d");
    const f3dtest::Imported full = importF3d(path, {{"temperature", 1}});
    const f3dtest::Imported header = importF3d(path, {{"temperature", 1}}, true);
    ASSERT_EQ(header.result, F3dResult::Ok);
    EXPECT_EQ(header.frame->channelMask, 0x2u);
    EXPECT_EQ(header.frame->channelData[1], nullptr);
    EXPECT_EQ(std::vector<int32_t>(header.frame->gridSize, header.frame->gridSize + 3),
              (std::vector<int32_t>{20, 18, 12}));
    EXPECT_TRUE(
        std::equal(header.frame->transform, header.frame->transform + 12, full.frame->transform));
}

TEST(F3dSamples, ChannelsListEveryFieldWithVectorComponentsFlagged) {
    for (const char* file : SampleFiles) {
        SCOPED_TRACE(file);
        const JsonValue json = readJsonFile(samplePath(std::string(file) + ".json"));
        std::set<std::pair<std::string, bool>> expected;
        for (const JsonValue& field : json["fields"].items) {
            const bool vector = field["components"].number == 3;
            for (const std::string& name : {field["name"].text, channelName(json, field)}) {
                if (vector) {
                    // The velocity layer's components as the default mapping names them.
                    const bool velocity = field["name"].text == "velocity";
                    for (const char* suffix :
                         {"(x)", velocity ? "(Y)" : "(y)", velocity ? "(Z)" : "(z)"}) {
                        expected.insert({name + suffix, true});
                    }
                } else {
                    expected.insert({name, false});
                }
            }
        }
        const auto listed = f3dtest::listChannels(samplePath(std::string(file) + ".f3d"));
        const std::set<std::pair<std::string, bool>> listedSet(listed.begin(), listed.end());
        EXPECT_EQ(listedSet, expected);
        EXPECT_EQ(listed.size(), expected.size()) << "a channel is listed twice";
    }
}

TEST(F3dSamples, ChannelsComeInPartitionThenLayerNameOrder) {
    const auto listed = f3dtest::listChannels(samplePath("mixed.f3d"));
    std::vector<std::string> names;
    for (const auto& channel : listed) {
        names.push_back(channel.first);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Density", "fuel", "v_mac(x)", "v_mac(y)",
                                               "v_mac(z)", "density", "heat", "velocity(x)",
                                               "velocity(Y)", "velocity(Z)", "temperature"}));
}

TEST(F3dSamples, OgawaFileIsRefusedByName) {
    kortest::CapturedLog log;
    const f3dtest::Imported imported = importF3d(samplePath("ogawa_dense.f3d"), {{"density", 2}});
    EXPECT_EQ(imported.result, F3dResult::OgawaEncoding);
    EXPECT_EQ(imported.frame->channelMask, 0u);
    EXPECT_TRUE(f3dtest::listChannels(samplePath("ogawa_dense.f3d")).empty());
    EXPECT_NE(log.Text().find("uses Field3D's Ogawa encoding; only HDF5-encoded .f3d files are "
                              "supported"),
              std::string::npos)
        << log.Text();
}
