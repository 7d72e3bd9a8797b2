// SPDX-License-Identifier: Apache-2.0
// Shared helpers of the vdbbridge tests: sample paths, the samples' JSON descriptions and
// imports driven by mapping strings.
#pragma once

#include "frame/FluxaFrameData.h"
#include "korloader/CacheIO.h"

#include <boost/property_tree/ptree.hpp>
#include <memory>
#include <string>
#include <vector>

namespace vdbtest {

std::string samplePath(const std::string& relative);

// The JSON beside a sample file.
boost::property_tree::ptree readSampleJson(const std::string& relativeJson);

// A JSON number or boolean.
double number(const boost::property_tree::ptree& node);
// Numbers of a JSON array.
std::vector<double> numbers(const boost::property_tree::ptree& array);

// Mapping records from "slot,name;slot,name;...".
std::vector<CacheIO::GridMapping> parseMappings(const std::string& text);

struct Import {
    std::unique_ptr<FluxaFrameData> frame;
    int result = -1;
    int orientation = -1;

    int64_t Voxels() const;
    // Value of slot at frame voxel (i, j, k).
    float At(int slot, int i, int j, int k) const;
    // World position of the centre of frame voxel (i, j, k).
    void World(double i, double j, double k, double (&out)[3]) const;
};

// Imports path (absolute) into a fresh frame with the mapping records or string.
Import importVdb(const std::string& path, std::vector<CacheIO::GridMapping>& mappings,
                 bool headerOnly = false);
Import importVdb(const std::string& path, const std::string& mappings, bool headerOnly = false);

} // namespace vdbtest
