// SPDX-License-Identifier: Apache-2.0
#include "tests/plugins/vdbbridge/VdbTestSupport.h"

#include "plugins/vdbbridge/VdbFrameImport.h"

#include <boost/property_tree/json_parser.hpp>
#include <gtest/gtest.h>
#include <openvdb/openvdb.h>
#include <sstream>

namespace vdbtest {

std::string samplePath(const std::string& relative) {
    return std::string(KOR_SAMPLES_DIR) + "/" + relative;
}

boost::property_tree::ptree readSampleJson(const std::string& relativeJson) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_json(samplePath(relativeJson), tree);
    return tree;
}

double number(const boost::property_tree::ptree& node) {
    const std::string text = node.get_value<std::string>();
    return text == "true" ? 1.0 : text == "false" ? 0.0 : std::stod(text);
}

std::vector<double> numbers(const boost::property_tree::ptree& array) {
    std::vector<double> values;
    for (const auto& item : array) {
        values.push_back(number(item.second));
    }
    return values;
}

std::vector<CacheIO::GridMapping> parseMappings(const std::string& text) {
    std::vector<CacheIO::GridMapping> mappings;
    std::stringstream stream(text);
    std::string entry;
    while (std::getline(stream, entry, ';')) {
        const size_t comma = entry.find(',');
        mappings.emplace_back(entry.substr(comma + 1).c_str(), std::stoi(entry.substr(0, comma)));
    }
    return mappings;
}

int64_t Import::Voxels() const {
    return int64_t(frame->gridSize[0]) * frame->gridSize[1] * frame->gridSize[2];
}

float Import::At(int slot, int i, int j, int k) const {
    const int64_t index = i + int64_t(frame->gridSize[0]) * (j + int64_t(frame->gridSize[1]) * k);
    return frame->channelData[slot][index];
}

void Import::World(double i, double j, double k, double (&out)[3]) const {
    const float* t = frame->transform;
    for (int c = 0; c < 3; ++c) {
        out[c] = double(t[9 + c]) + i * t[c] + j * t[3 + c] + k * t[6 + c];
    }
}

Import importVdb(const std::string& path, std::vector<CacheIO::GridMapping>& mappings,
                 bool headerOnly) {
    Import import;
    import.frame = std::make_unique<FluxaFrameData>();
    import.frame->resetHeader();
    import.result = vdbbridge::importFrame(path.c_str(), *import.frame, import.orientation,
                                           headerOnly, mappings.data(), int(mappings.size()));
    return import;
}

Import importVdb(const std::string& path, const std::string& mappings, bool headerOnly) {
    std::vector<CacheIO::GridMapping> records = parseMappings(mappings);
    return importVdb(path, records, headerOnly);
}

} // namespace vdbtest

namespace {

class OpenVdbEnvironment : public ::testing::Environment {
public:
    void SetUp() override { openvdb::initialize(); }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new OpenVdbEnvironment);

} // namespace
