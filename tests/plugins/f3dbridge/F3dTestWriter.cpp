// SPDX-License-Identifier: Apache-2.0
#include "tests/plugins/f3dbridge/F3dTestWriter.h"

#include <hdf5.h>
#include <set>
#include <stdexcept>

namespace f3dtest {

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("test writer: ") + what);
    }
}

void writeInts(hid_t object, const char* name, const std::vector<int32_t>& values) {
    const hsize_t count = values.size();
    const hid_t space = H5Screate_simple(1, &count, nullptr);
    const hid_t attribute =
        H5Acreate2(object, name, H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT);
    check(H5Awrite(attribute, H5T_NATIVE_INT32, values.data()) >= 0, name);
    H5Aclose(attribute);
    H5Sclose(space);
}

// Field3D's own encoding: fixed length, exactly the text's size, no terminator stored.
void writeString(hid_t object, const char* name, const std::string& text) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, text.size());
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t attribute = H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
    check(H5Awrite(attribute, type, text.data()) >= 0, name);
    H5Aclose(attribute);
    H5Sclose(space);
    H5Tclose(type);
}

template <typename T>
void writeDataset(hid_t group, const char* name, hid_t fileType, hid_t memoryType,
                  const std::vector<T>& values) {
    const hsize_t count = values.size();
    const hid_t space = H5Screate_simple(1, &count, nullptr);
    const hid_t dataset =
        H5Dcreate2(group, name, fileType, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    check(H5Dwrite(dataset, memoryType, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0, name);
    H5Dclose(dataset);
    H5Sclose(space);
}

void writeMapping(hid_t partition, const LayerSpec& layer) {
    const hid_t mapping = H5Gcreate2(partition, "mapping", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    writeString(mapping, "mapping_type", layer.mappingType);
    if (layer.mappingType == "MatrixFieldMapping") {
        writeInts(mapping, "num_time_samples", {1});
        const float time = 0.0f;
        const hsize_t one = 1;
        hid_t space = H5Screate_simple(1, &one, nullptr);
        hid_t attribute =
            H5Acreate2(mapping, "time_0", H5T_IEEE_F32LE, space, H5P_DEFAULT, H5P_DEFAULT);
        H5Awrite(attribute, H5T_NATIVE_FLOAT, &time);
        H5Aclose(attribute);
        H5Sclose(space);
        const hsize_t dims[2] = {4, 4};
        space = H5Screate_simple(2, dims, nullptr);
        attribute =
            H5Acreate2(mapping, "matrix_0", H5T_IEEE_F64LE, space, H5P_DEFAULT, H5P_DEFAULT);
        H5Awrite(attribute, H5T_NATIVE_DOUBLE, layer.matrix.data());
        H5Aclose(attribute);
        H5Sclose(space);
    }
    H5Gclose(mapping);
}

void writeLayer(hid_t partition, const LayerSpec& layer) {
    const hid_t group =
        H5Gcreate2(partition, layer.name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    writeString(group, "class_type", "field3d_layer");
    writeString(group, "class_name", layer.className);
    writeInts(group, "version", {1});
    writeInts(group, "extents", std::vector<int32_t>(layer.extents.begin(), layer.extents.end()));
    writeInts(group, "data_window",
              std::vector<int32_t>(layer.dataWindow.begin(), layer.dataWindow.end()));
    writeInts(group, "components", {layer.components});
    writeInts(group, "bits_per_component", {layer.bitsPerComponent});
    if (layer.className == "SparseField") {
        std::vector<int32_t> blockRes = {1, 1, 1};
        if (layer.emptyBlocks) {
            for (int axis = 0; axis < 3; ++axis) {
                blockRes[axis] = (layer.dataWindow[axis + 3] - layer.dataWindow[axis] + 16) / 16;
            }
        }
        const int32_t blocks = blockRes[0] * blockRes[1] * blockRes[2];
        writeInts(group, "block_order", {4});
        writeInts(group, "block_res", blockRes);
        writeInts(group, "num_blocks", {blocks});
        writeInts(group, "num_occupied_blocks", {layer.numOccupiedBlocks});
        if (layer.emptyBlocks) {
            writeDataset(group, "block_is_allocated_data", H5T_STD_I8LE, H5T_NATIVE_INT8,
                         std::vector<int8_t>(static_cast<size_t>(blocks), 0));
            writeDataset(group, "block_empty_value_data", H5T_IEEE_F32LE, H5T_NATIVE_FLOAT,
                         std::vector<float>(static_cast<size_t>(blocks), 0.0f));
        }
    }
    if (layer.writeData) {
        const hsize_t count = layer.declaredLength > 0 ? layer.declaredLength : layer.data.size();
        const hid_t space = H5Screate_simple(1, &count, nullptr);
        const hid_t type = layer.integerData ? H5T_STD_I32LE : H5T_IEEE_F32LE;
        const hid_t dataset =
            H5Dcreate2(group, "data", type, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
        if (count > 0 && layer.declaredLength == 0) {
            check(H5Dwrite(dataset, H5T_NATIVE_FLOAT, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                           layer.data.data()) >= 0,
                  "data");
        }
        H5Dclose(dataset);
        H5Sclose(space);
    }
    H5Gclose(group);
}

} // namespace

void writeF3dTestFile(const std::string& path, const std::vector<LayerSpec>& layers) {
    const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
    H5Pset_libver_bounds(access, H5F_LIBVER_LATEST, H5F_LIBVER_LATEST);
    const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access);
    check(file >= 0, "create");
    std::set<std::string> partitions;
    for (const LayerSpec& layer : layers) {
        const bool isNew = partitions.insert(layer.partitionGroup).second;
        const hid_t partition = isNew ? H5Gcreate2(file, layer.partitionGroup.c_str(), H5P_DEFAULT,
                                                   H5P_DEFAULT, H5P_DEFAULT)
                                      : H5Gopen2(file, layer.partitionGroup.c_str(), H5P_DEFAULT);
        if (isNew) {
            writeString(partition, "is_field3d_partition", "1");
            writeMapping(partition, layer);
        }
        writeLayer(partition, layer);
        H5Gclose(partition);
    }
    H5Fclose(file);
    H5Pclose(access);
}

} // namespace f3dtest
