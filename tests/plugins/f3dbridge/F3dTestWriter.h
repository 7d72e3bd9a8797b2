// SPDX-License-Identifier: Apache-2.0
// Writes small Field3D-layout files with HDF5 directly, independent of the reader, so
// that tests can reach every refusal: absurd boxes, empty windows, wrong dataset types
// and lengths, unsupported classes and mappings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace f3dtest {

struct LayerSpec {
    std::string partitionGroup = "fluid.0";
    std::string name = "density";
    std::string className = "DenseField";
    int32_t components = 1;
    int32_t bitsPerComponent = 32;
    std::array<int32_t, 6> extents = {0, 0, 0, 3, 3, 3};
    std::array<int32_t, 6> dataWindow = {0, 0, 0, 3, 3, 3};
    std::string mappingType = "MatrixFieldMapping";
    // Local to world, row-vector convention.
    std::array<double, 16> matrix = {4, 0, 0, 0, 0, 4, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1};
    // Written as the float32 dataset "data" unless writeData is false; integerData stores
    // it as int32 instead.
    std::vector<float> data;
    bool writeData = true;
    bool integerData = false;
    // When set, "data" claims this many elements and the file holds none of them.
    uint64_t declaredLength = 0;
    // Sparse only: attributes beside the (absent) blocks, for count checks.
    int32_t numOccupiedBlocks = 0;
    // Sparse only: blocks of 16^3 over the data window, none allocated, all empty with 0.
    bool emptyBlocks = false;
};

// Creates (or replaces) the file with the layers; each partition group gets the mapping
// of its first layer.
void writeF3dTestFile(const std::string& path, const std::vector<LayerSpec>& layers);

} // namespace f3dtest
