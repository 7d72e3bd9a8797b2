// SPDX-License-Identifier: Apache-2.0
// Every dataset length is checked against what the data window implies before anything
// is allocated or read, so HDF5 never writes past our buffers and a hostile length never
// sizes an allocation.
#include "plugins/f3dbridge/F3dVoxels.h"

#include "plugins/f3dbridge/F3dAttributes.h"
#include "plugins/f3dbridge/F3dResult.h"
#include "plugins/f3dbridge/HalfFloat.h"
#include "plugins/f3dbridge/Hdf5Handle.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cstring>

namespace {

// What the payload readers of one field share.
struct FieldContext {
    hid_t group;
    const F3dLayerInfo& layer;
    const char* path;
};

[[noreturn]] void refuseLayout(const FieldContext& field, const char* what) {
    refuseF3d(F3dResult::BadLayout, "f3dbridge: %s in %s: %s\n", field.layer.groupPath.c_str(),
              field.path, what);
}

template <typename T>
std::unique_ptr<T[]> allocate(const FieldContext& field, uint64_t count) {
    T* array = nullptr;
    if (!newArray(array, count)) {
        refuseF3d(F3dResult::OutOfMemory, "f3dbridge: out of memory reading %s in %s\n",
                  field.layer.groupPath.c_str(), field.path);
    }
    return std::unique_ptr<T[]>(array);
}

// The dataset `name` of the field, refused when it is missing, reached through a soft or
// external link, or stored outside the file (external or virtual storage could make HDF5
// read other files).
Hdf5Handle openDataset(const FieldContext& field, const char* name) {
    H5L_info_t link;
    if (H5Lexists(field.group, name, H5P_DEFAULT) <= 0 ||
        H5Lget_info(field.group, name, &link, H5P_DEFAULT) < 0 || link.type != H5L_TYPE_HARD) {
        refuseLayout(field, "missing dataset");
    }
    Hdf5Handle dataset(H5Dopen2(field.group, name, H5P_DEFAULT), H5Dclose);
    if (!dataset.valid()) {
        refuseLayout(field, "unreadable dataset");
    }
    const Hdf5Handle creation(H5Dget_create_plist(dataset.get()), H5Pclose);
    if (!creation.valid() || H5Pget_external_count(creation.get()) != 0 ||
        H5Pget_layout(creation.get()) == H5D_VIRTUAL) {
        refuseLayout(field, "dataset stored outside the file");
    }
    return dataset;
}

// The dataset's dimensions; refused unless it has `rank` of them.
void readDimensions(const FieldContext& field, hid_t dataset, int rank, hsize_t* dimensions) {
    const Hdf5Handle space(H5Dget_space(dataset), H5Sclose);
    if (!space.valid() || H5Sget_simple_extent_ndims(space.get()) != rank ||
        H5Sget_simple_extent_dims(space.get(), dimensions, nullptr) != rank) {
        refuseLayout(field, "dataset has the wrong shape");
    }
}

void checkLength(const FieldContext& field, hid_t dataset, int64_t length) {
    hsize_t dimension = 0;
    readDimensions(field, dataset, 1, &dimension);
    if (dimension != static_cast<hsize_t>(length)) {
        refuseLayout(field, "dataset has the wrong length");
    }
}

// Deflate packs at most 1032 bytes into one; HDF5's other filters are not Field3D's.
constexpr uint64_t MaxFilterRatio = 1032;
// Room for the few bytes a tiny compressed dataset may take beyond its contents.
constexpr uint64_t StorageSlackBytes = 4096;

// The file must hold the bytes of `elements` stored elements before anything is allocated
// for them: HDF5 fills whatever a dataset lacks with its fill value, so a small file could
// otherwise claim a dataset of gigabytes. Chunks are read whole, so a chunk may not be
// larger than the dataset either.
void checkStorage(const FieldContext& field, hid_t dataset, uint64_t elements) {
    const Hdf5Handle type(H5Dget_type(dataset), H5Tclose);
    const Hdf5Handle creation(H5Dget_create_plist(dataset), H5Pclose);
    if (!type.valid() || !creation.valid()) {
        refuseLayout(field, "unreadable dataset");
    }
    const uint64_t elementBytes = H5Tget_size(type.get());
    const uint64_t storedBytes = H5Dget_storage_size(dataset);
    const uint64_t filterRatio = H5Pget_nfilters(creation.get()) > 0 ? MaxFilterRatio : 1;
    if (elementBytes == 0 ||
        elements > (storedBytes * filterRatio + StorageSlackBytes) / elementBytes) {
        refuseLayout(field, "dataset holds fewer bytes than its elements need");
    }
    if (H5Pget_layout(creation.get()) == H5D_CHUNKED) {
        hsize_t chunk[H5S_MAX_RANK];
        const int rank = H5Pget_chunk(creation.get(), H5S_MAX_RANK, chunk);
        uint64_t chunkElements = 1;
        for (int axis = 0; axis < rank && chunkElements <= elements; ++axis) {
            chunkElements = chunk[axis] > elements ? elements + 1 : chunkElements * chunk[axis];
        }
        if (rank <= 0 || chunkElements > std::max<uint64_t>(elements, 1)) {
            refuseLayout(field, "dataset chunks larger than the dataset");
        }
    }
}

// Half is raw binary16 in a 16-bit integer; the others are IEEE floats of either width.
void checkElementType(const FieldContext& field, hid_t dataset, int bits) {
    const Hdf5Handle type(H5Dget_type(dataset), H5Tclose);
    const H5T_class_t typeClass = type.valid() ? H5Tget_class(type.get()) : H5T_NO_CLASS;
    const size_t bytes = type.valid() ? H5Tget_size(type.get()) : 0;
    const bool matches = bits == 16 ? typeClass == H5T_INTEGER && bytes == 2
                                    : typeClass == H5T_FLOAT && (bytes == 4 || bytes == 8);
    if (!matches) {
        refuseLayout(field, "dataset element type does not match bits_per_component");
    }
}

// Reads `count` elements of the selection into floats. Half bits are read without any
// HDF5 conversion: an integer-to-float conversion would turn 0x3C00 into 15360.
void readFloats(const FieldContext& field, hid_t dataset, hid_t memorySpace, hid_t fileSpace,
                uint64_t count, float* out) {
    if (field.layer.bitsPerComponent != 16) {
        if (H5Dread(dataset, H5T_NATIVE_FLOAT, memorySpace, fileSpace, H5P_DEFAULT, out) < 0) {
            refuseLayout(field, "dataset cannot be read");
        }
        return;
    }
    const Hdf5Handle type(H5Dget_type(dataset), H5Tclose);
    // Same signedness as stored, so that HDF5 copies the bits instead of clamping them.
    const hid_t memoryType =
        H5Tget_sign(type.get()) == H5T_SGN_NONE ? H5T_NATIVE_UINT16 : H5T_NATIVE_INT16;
    std::unique_ptr<uint16_t[]> halves = allocate<uint16_t>(field, count);
    if (H5Dread(dataset, memoryType, memorySpace, fileSpace, H5P_DEFAULT, halves.get()) < 0) {
        refuseLayout(field, "dataset cannot be read");
    }
    for (uint64_t i = 0; i < count; ++i) {
        out[i] = halfToFloat(halves[i]);
    }
}

// A 1-D dataset of exactly `length` elements of the field's type, which the file holds.
Hdf5Handle openValues(const FieldContext& field, const char* name, int64_t length) {
    Hdf5Handle dataset = openDataset(field, name);
    checkElementType(field, dataset.get(), field.layer.bitsPerComponent);
    checkLength(field, dataset.get(), length);
    checkStorage(field, dataset.get(), static_cast<uint64_t>(length));
    return dataset;
}

std::unique_ptr<float[]> readValues(const FieldContext& field, const Hdf5Handle& dataset,
                                    int64_t length) {
    std::unique_ptr<float[]> values = allocate<float>(field, static_cast<uint64_t>(length));
    readFloats(field, dataset.get(), H5S_ALL, H5S_ALL, static_cast<uint64_t>(length), values.get());
    return values;
}

std::unique_ptr<float[]> readWholeDataset(const FieldContext& field, const char* name,
                                          int64_t length) {
    return readValues(field, openValues(field, name, length), length);
}

void allocateComponents(const FieldContext& field, F3dVoxels& voxels, int64_t count) {
    for (int c = 0; c < field.layer.components; ++c) {
        voxels.component[c] = allocate<float>(field, static_cast<uint64_t>(count));
    }
}

void readDense(const FieldContext& field, F3dVoxels& voxels, int64_t count) {
    const int components = field.layer.components;
    if (components == 1) {
        voxels.component[0] = readWholeDataset(field, "data", count);
        return;
    }
    const std::unique_ptr<float[]> interleaved = readWholeDataset(field, "data", count * 3);
    allocateComponents(field, voxels, count);
    for (int64_t v = 0; v < count; ++v) {
        for (int c = 0; c < 3; ++c) {
            voxels.component[c][v] = interleaved[v * 3 + c];
        }
    }
}

// Each face array is one longer along its own axis; a voxel's value is the mean of the
// faces on its two sides.
void readMac(const FieldContext& field, F3dVoxels& voxels, int64_t count) {
    static const char* const names[3] = {"u_data", "v_data", "w_data"};
    const int64_t nx = voxels.size[0], ny = voxels.size[1], nz = voxels.size[2];
    Hdf5Handle datasets[3];
    int64_t faceCounts[3];
    for (int axis = 0; axis < 3; ++axis) {
        int64_t faces[3] = {nx, ny, nz};
        ++faces[axis];
        faceCounts[axis] = faces[0] * faces[1] * faces[2];
        datasets[axis] = openValues(field, names[axis], faceCounts[axis]);
    }
    allocateComponents(field, voxels, count);
    for (int axis = 0; axis < 3; ++axis) {
        int64_t faces[3] = {nx, ny, nz};
        ++faces[axis];
        const std::unique_ptr<float[]> face = readValues(field, datasets[axis], faceCounts[axis]);
        const int64_t step = axis == 0 ? 1 : (axis == 1 ? faces[0] : faces[0] * faces[1]);
        float* out = voxels.component[axis].get();
        for (int64_t k = 0; k < nz; ++k) {
            for (int64_t j = 0; j < ny; ++j) {
                const int64_t rowStart = (k * faces[1] + j) * faces[0];
                for (int64_t i = 0; i < nx; ++i) {
                    const int64_t low = rowStart + i;
                    *out++ = (face[low] + face[low + step]) * 0.5f;
                }
            }
        }
    }
}

// Blocks of B^3 voxels tile the data window from its minimum corner; allocated blocks are
// the rows of "data" in increasing block id, the others hold their empty value.
void readSparse(const FieldContext& field, F3dVoxels& voxels, int64_t count) {
    const F3dLayerInfo& layer = field.layer;
    const int components = layer.components;
    const int order = layer.blockOrder;
    const int64_t edge = int64_t{1} << order;
    int64_t blockRes[3];
    for (int axis = 0; axis < 3; ++axis) {
        blockRes[axis] = (voxels.size[axis] + edge - 1) >> order;
    }
    const int64_t blockCount = blockRes[0] * blockRes[1] * blockRes[2];
    int32_t storedRes[3] = {};
    int32_t storedBlocks = 0;
    int32_t storedOccupied = 0;
    if (!readF3dInts(field.group, "block_res", storedRes, 3) ||
        !readF3dInts(field.group, "num_blocks", &storedBlocks, 1) ||
        !readF3dInts(field.group, "num_occupied_blocks", &storedOccupied, 1) ||
        storedRes[0] != blockRes[0] || storedRes[1] != blockRes[1] || storedRes[2] != blockRes[2] ||
        storedBlocks != blockCount) {
        refuseLayout(field, "block counts do not match the data window");
    }
    std::unique_ptr<int8_t[]> allocated;
    {
        const Hdf5Handle dataset = openDataset(field, "block_is_allocated_data");
        const Hdf5Handle type(H5Dget_type(dataset.get()), H5Tclose);
        if (!type.valid() || H5Tget_class(type.get()) != H5T_INTEGER ||
            H5Tget_size(type.get()) != 1) {
            refuseLayout(field, "block allocation flags are not bytes");
        }
        checkLength(field, dataset.get(), blockCount);
        checkStorage(field, dataset.get(), static_cast<uint64_t>(blockCount));
        allocated = allocate<int8_t>(field, static_cast<uint64_t>(blockCount));
        if (H5Dread(dataset.get(), H5T_NATIVE_INT8, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                    allocated.get()) < 0) {
            refuseLayout(field, "dataset cannot be read");
        }
    }
    int64_t occupied = 0;
    for (int64_t b = 0; b < blockCount; ++b) {
        occupied += allocated[b] != 0 ? 1 : 0;
    }
    if (occupied != storedOccupied) {
        refuseLayout(field, "allocated block count does not match num_occupied_blocks");
    }
    const std::unique_ptr<float[]> emptyValues =
        readWholeDataset(field, "block_empty_value_data", blockCount * components);
    allocateComponents(field, voxels, count);

    const int64_t rowLength = (edge * edge * edge) * components;
    Hdf5Handle data;
    Hdf5Handle fileSpace;
    Hdf5Handle rowSpace;
    std::unique_ptr<float[]> row;
    if (occupied > 0) {
        data = openDataset(field, "data");
        checkElementType(field, data.get(), layer.bitsPerComponent);
        hsize_t dimensions[2] = {};
        readDimensions(field, data.get(), 2, dimensions);
        if (dimensions[0] != static_cast<hsize_t>(occupied) ||
            dimensions[1] != static_cast<hsize_t>(rowLength)) {
            refuseLayout(field, "block data has the wrong shape");
        }
        checkStorage(field, data.get(), static_cast<uint64_t>(occupied * rowLength));
        fileSpace = Hdf5Handle(H5Dget_space(data.get()), H5Sclose);
        const hsize_t rowDimension = static_cast<hsize_t>(rowLength);
        rowSpace = Hdf5Handle(H5Screate_simple(1, &rowDimension, nullptr), H5Sclose);
        row = allocate<float>(field, static_cast<uint64_t>(rowLength));
    }

    const int64_t nx = voxels.size[0], ny = voxels.size[1], nz = voxels.size[2];
    int64_t rowIndex = 0;
    for (int64_t b = 0; b < blockCount; ++b) {
        const int64_t bi = b % blockRes[0];
        const int64_t bj = (b / blockRes[0]) % blockRes[1];
        const int64_t bk = b / (blockRes[0] * blockRes[1]);
        const bool stored = allocated[b] != 0;
        if (stored) {
            const hsize_t start[2] = {static_cast<hsize_t>(rowIndex++), 0};
            const hsize_t extent[2] = {1, static_cast<hsize_t>(rowLength)};
            if (H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, start, nullptr, extent,
                                    nullptr) < 0) {
                refuseLayout(field, "block data cannot be selected");
            }
            readFloats(field, data.get(), rowSpace.get(), fileSpace.get(),
                       static_cast<uint64_t>(rowLength), row.get());
        }
        // Edge blocks stick out of the data window; their outer voxels are filler.
        const int64_t iEnd = std::min(edge, nx - bi * edge);
        const int64_t jEnd = std::min(edge, ny - bj * edge);
        const int64_t kEnd = std::min(edge, nz - bk * edge);
        for (int64_t vk = 0; vk < kEnd; ++vk) {
            for (int64_t vj = 0; vj < jEnd; ++vj) {
                const int64_t target = ((bk * edge + vk) * ny + bj * edge + vj) * nx + bi * edge;
                const int64_t source = (vk * edge + vj) * edge;
                for (int c = 0; c < components; ++c) {
                    float* out = voxels.component[c].get() + target;
                    for (int64_t vi = 0; vi < iEnd; ++vi) {
                        out[vi] = stored ? row[(source + vi) * components + c]
                                         : emptyValues[b * components + c];
                    }
                }
            }
        }
    }
}

} // namespace

F3dVoxels readF3dVoxels(hid_t file, const F3dLayerInfo& layer, const char* path,
                        int64_t voxelBudget) {
    F3dVoxels voxels;
    for (int axis = 0; axis < 3; ++axis) {
        voxels.size[axis] = layer.dataWindow.size(axis);
    }
    const int64_t count = layer.dataWindow.voxelCount();
    if (count > voxelBudget) {
        refuseF3d(F3dResult::TooLarge,
                  "f3dbridge: %s in %s has %lld voxels, more than the limit of %lld\n",
                  layer.groupPath.c_str(), path, static_cast<long long>(count),
                  static_cast<long long>(voxelBudget));
    }
    if (count == 0) {
        return voxels;
    }
    const Hdf5Handle group(H5Gopen2(file, layer.groupPath.c_str(), H5P_DEFAULT), H5Gclose);
    const FieldContext field = {group.get(), layer, path};
    if (!group.valid()) {
        refuseLayout(field, "group cannot be opened");
    }
    switch (layer.fieldClass) {
    case F3dFieldClass::Dense:
        readDense(field, voxels, count);
        break;
    case F3dFieldClass::Sparse:
        readSparse(field, voxels, count);
        break;
    case F3dFieldClass::Mac:
        readMac(field, voxels, count);
        break;
    }
    return voxels;
}
