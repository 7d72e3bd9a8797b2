// SPDX-License-Identifier: Apache-2.0
// Walks "/<partition>.<n>/<layer>" and reads each layer's descriptor and its partition's
// mapping. Only hard links are followed: soft and external links could point outside the
// file or loop.
#include "plugins/f3dbridge/F3dCatalogue.h"

#include "plugins/f3dbridge/F3dAttributes.h"
#include "plugins/f3dbridge/F3dResult.h"
#include "plugins/f3dbridge/Hdf5Handle.h"

#include <cmath>
#include <cstring>

namespace {

// Far beyond any real cache; bounds the walk of a hostile file.
constexpr size_t MaxGroupChildren = 65536;
constexpr int32_t MaxTimeSamples = 65536;
// Boxes beyond +-2^30 would overflow the index arithmetic of the frame.
constexpr int32_t MaxAbsIndex = 1 << 30;
// 128^3 voxels per block; Field3D writes 16^3 unless told otherwise.
constexpr int32_t MaxBlockOrder = 7;

struct ChildList {
    std::vector<std::string> names;
    bool overflow = false;
};

herr_t collectHardLink(hid_t, const char* name, const H5L_info_t* info, void* data) {
    ChildList& children = *static_cast<ChildList*>(data);
    if (children.names.size() >= MaxGroupChildren) {
        children.overflow = true;
        return 1;
    }
    if (info->type == H5L_TYPE_HARD) {
        children.names.emplace_back(name);
    }
    return 0;
}

std::vector<std::string> listChildren(hid_t group, const char* path) {
    ChildList children;
    hsize_t position = 0;
    if (H5Literate(group, H5_INDEX_NAME, H5_ITER_INC, &position, collectHardLink, &children) < 0 ||
        children.overflow) {
        refuseF3d(F3dResult::BadLayout, "f3dbridge: cannot list the groups of %s\n", path);
    }
    return children.names;
}

// The child group `name`, or an invalid handle when it is missing or not a group.
Hdf5Handle openChildGroup(hid_t parent, const char* name) {
    Hdf5Handle object(H5Oopen(parent, name, H5P_DEFAULT), H5Oclose);
    if (!object.valid() || H5Iget_type(object.get()) != H5I_GROUP) {
        return Hdf5Handle();
    }
    return object;
}

bool readBox(hid_t layer, const char* name, F3dBox& box) {
    int32_t values[6];
    if (!readF3dInts(layer, name, values, 6)) {
        return false;
    }
    for (int axis = 0; axis < 3; ++axis) {
        box.min[axis] = values[axis];
        box.max[axis] = values[axis + 3];
    }
    for (const int32_t value : values) {
        if (value < -MaxAbsIndex || value > MaxAbsIndex) {
            return false;
        }
    }
    return true;
}

// The local-to-world matrix of a partition group, or the reason it is not usable. Several
// time samples give the curve at t = 0, as Field3D's fixed transform does.
std::string readLocalToWorld(hid_t partition, F3dMatrix& localToWorld) {
    const Hdf5Handle mapping = openChildGroup(partition, "mapping");
    std::string type;
    if (!mapping.valid() || !readF3dString(mapping.get(), "mapping_type", type)) {
        return "no mapping";
    }
    if (type == "NullFieldMapping") {
        localToWorld = F3dMatrix::identity();
        return std::string();
    }
    if (type != "MatrixFieldMapping") {
        return "unsupported mapping " + type;
    }
    int32_t sampleCount = 0;
    if (!readF3dInts(mapping.get(), "num_time_samples", &sampleCount, 1) || sampleCount < 0 ||
        sampleCount > MaxTimeSamples) {
        return "bad mapping sample count";
    }
    if (sampleCount == 0) {
        localToWorld = F3dMatrix::identity();
        return std::string();
    }
    std::vector<float> times(static_cast<size_t>(sampleCount));
    for (int32_t s = 0; s < sampleCount; ++s) {
        const std::string name = "time_" + std::to_string(s);
        if (!readF3dFloats(mapping.get(), name.c_str(), &times[static_cast<size_t>(s)], 1)) {
            return "missing mapping time";
        }
    }
    // Field3D's curve at t = 0: clamped to the first or last sample, otherwise linear
    // between the samples around 0.
    const size_t last = times.size() - 1;
    size_t first = 0;
    size_t second = 0;
    if (!(times[0] >= 0.0f)) {
        first = second = last;
        if (!(times[last] <= 0.0f)) {
            second = 1;
            while (second < last && !(times[second] > 0.0f)) {
                ++second;
            }
            first = second - 1;
        }
    }
    F3dMatrix matrices[2];
    const size_t samples[2] = {first, second};
    for (int k = 0; k < 2; ++k) {
        const std::string name = "matrix_" + std::to_string(samples[k]);
        if (!readF3dDoubles(mapping.get(), name.c_str(), &matrices[k].m[0][0], 16)) {
            return "missing mapping matrix";
        }
    }
    localToWorld = matrices[0];
    if (second != first) {
        const double t0 = times[first];
        const double t1 = times[second];
        const double weight = (0.0 - t0) / (t1 - t0);
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                localToWorld.m[r][c] =
                    matrices[0].m[r][c] * (1.0 - weight) + matrices[1].m[r][c] * weight;
            }
        }
    }
    if (!localToWorld.isAffine()) {
        return "mapping matrix is not affine";
    }
    return std::string();
}

// Fills the descriptor of one layer group; returns false for groups that are not layers.
bool readLayer(hid_t group, F3dLayerInfo& layer) {
    std::string classType;
    if (!readF3dString(group, "class_type", classType) || classType != "field3d_layer") {
        return false;
    }
    std::string className;
    int32_t version = 0;
    if (!readF3dString(group, "class_name", className)) {
        layer.unreadable = "no class name";
    } else if (className == "DenseField") {
        layer.fieldClass = F3dFieldClass::Dense;
    } else if (className == "SparseField") {
        layer.fieldClass = F3dFieldClass::Sparse;
    } else if (className == "MACField") {
        layer.fieldClass = F3dFieldClass::Mac;
    } else {
        layer.unreadable = "unsupported class " + className;
    }
    if (!layer.unreadable.empty()) {
        return true;
    }
    if (!readF3dInts(group, "version", &version, 1) || version != 1) {
        layer.unreadable = "unsupported layer version";
    } else if (!readF3dInts(group, "components", &layer.components, 1) ||
               !(layer.components == 1 || layer.components == 3) ||
               (layer.fieldClass == F3dFieldClass::Mac && layer.components != 3)) {
        layer.unreadable = "bad component count";
    } else if (!readF3dInts(group, "bits_per_component", &layer.bitsPerComponent, 1) ||
               !(layer.bitsPerComponent == 16 || layer.bitsPerComponent == 32 ||
                 layer.bitsPerComponent == 64)) {
        layer.unreadable = "bad bits per component";
    } else if (!readBox(group, "extents", layer.extents) || layer.extents.voxelCount() == 0) {
        layer.unreadable = "bad extents";
    } else if (!readBox(group, "data_window", layer.dataWindow)) {
        layer.unreadable = "bad data window";
    } else if (layer.fieldClass == F3dFieldClass::Sparse &&
               (!readF3dInts(group, "block_order", &layer.blockOrder, 1) || layer.blockOrder < 0 ||
                layer.blockOrder > MaxBlockOrder)) {
        layer.unreadable = "bad block order";
    }
    for (int axis = 0; axis < 3 && layer.unreadable.empty(); ++axis) {
        // An empty data window is max = min - 1; anything below that is no box at all.
        if (layer.dataWindow.size(axis) < 0) {
            layer.unreadable = "bad data window";
        }
    }
    return true;
}

// Local space spans the extents: voxel v maps to local (v - emin) / res.
std::string composeVoxelToWorld(const F3dMatrix& localToWorld, F3dLayerInfo& layer) {
    const F3dBox& e = layer.extents;
    const F3dMatrix toLocal =
        F3dMatrix::translation(-static_cast<double>(e.min[0]), -static_cast<double>(e.min[1]),
                               -static_cast<double>(e.min[2])) *
        F3dMatrix::scale(1.0 / static_cast<double>(e.size(0)), 1.0 / static_cast<double>(e.size(1)),
                         1.0 / static_cast<double>(e.size(2)));
    layer.voxelToWorld = toLocal * localToWorld;
    F3dMatrix unused;
    return layer.voxelToWorld.inverse(unused) ? std::string() : "singular mapping";
}

} // namespace

int64_t F3dBox::voxelCount() const {
    int64_t count = 1;
    for (int axis = 0; axis < 3; ++axis) {
        if (size(axis) <= 0) {
            return 0;
        }
    }
    // Each size is at most 2^31 + 1, so the product can exceed 64 bits.
    for (int axis = 0; axis < 3; ++axis) {
        const int64_t n = size(axis);
        if (count > INT64_MAX / n) {
            return INT64_MAX;
        }
        count *= n;
    }
    return count;
}

std::vector<F3dLayerInfo> readF3dCatalogue(hid_t file, const char* path) {
    std::vector<F3dLayerInfo> layers;
    const Hdf5Handle root(H5Gopen2(file, "/", H5P_DEFAULT), H5Gclose);
    if (!root.valid()) {
        refuseF3d(F3dResult::BadLayout, "f3dbridge: %s has no root group\n", path);
    }
    for (const std::string& groupName : listChildren(root.get(), path)) {
        if (groupName == "field3d_global_metadata" || groupName == "field3d_group_membership") {
            continue;
        }
        const Hdf5Handle partition = openChildGroup(root.get(), groupName.c_str());
        if (!partition.valid()) {
            continue;
        }
        F3dMatrix localToWorld = F3dMatrix::identity();
        const std::string mappingProblem = readLocalToWorld(partition.get(), localToWorld);
        const size_t dot = groupName.rfind('.');
        const std::string partitionName =
            dot == std::string::npos ? groupName : groupName.substr(0, dot);
        for (const std::string& layerName : listChildren(partition.get(), path)) {
            if (layerName == "mapping") {
                continue;
            }
            const Hdf5Handle group = openChildGroup(partition.get(), layerName.c_str());
            F3dLayerInfo layer;
            if (!group.valid() || !readLayer(group.get(), layer)) {
                continue;
            }
            layer.partition = partitionName;
            layer.group = groupName;
            layer.groupPath = "/" + groupName + "/" + layerName;
            layer.name = layerName;
            if (layer.unreadable.empty()) {
                layer.unreadable = mappingProblem;
            }
            if (layer.unreadable.empty()) {
                layer.unreadable = composeVoxelToWorld(localToWorld, layer);
            }
            layers.push_back(std::move(layer));
        }
    }
    return layers;
}
