// SPDX-License-Identifier: Apache-2.0
#include "plugins/f3dbridge/F3dAttributes.h"

#include "plugins/f3dbridge/Hdf5Handle.h"

#include <cstring>
#include <memory>

namespace {

// Attribute strings are names and type tags; anything longer is not Field3D's.
constexpr size_t MaxStringBytes = 4096;

Hdf5Handle openAttribute(hid_t object, const char* name) {
    if (!hasF3dAttribute(object, name)) {
        return Hdf5Handle();
    }
    return Hdf5Handle(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
}

bool hasElementCount(hid_t attribute, int64_t count) {
    const Hdf5Handle space(H5Aget_space(attribute), H5Sclose);
    return space.valid() && H5Sget_simple_extent_npoints(space.get()) == count;
}

bool hasTypeClass(hid_t attribute, H5T_class_t typeClass) {
    const Hdf5Handle type(H5Aget_type(attribute), H5Tclose);
    return type.valid() && H5Tget_class(type.get()) == typeClass;
}

bool readNumbers(hid_t object, const char* name, H5T_class_t typeClass, hid_t memoryType,
                 void* values, int64_t count) {
    const Hdf5Handle attribute = openAttribute(object, name);
    return attribute.valid() && hasTypeClass(attribute.get(), typeClass) &&
           hasElementCount(attribute.get(), count) &&
           H5Aread(attribute.get(), memoryType, values) >= 0;
}

} // namespace

bool hasF3dAttribute(hid_t object, const char* name) {
    return H5Aexists(object, name) > 0;
}

bool readF3dInts(hid_t object, const char* name, int32_t* values, int64_t count) {
    return readNumbers(object, name, H5T_INTEGER, H5T_NATIVE_INT32, values, count);
}

bool readF3dDoubles(hid_t object, const char* name, double* values, int64_t count) {
    return readNumbers(object, name, H5T_FLOAT, H5T_NATIVE_DOUBLE, values, count);
}

bool readF3dFloats(hid_t object, const char* name, float* values, int64_t count) {
    return readNumbers(object, name, H5T_FLOAT, H5T_NATIVE_FLOAT, values, count);
}

bool readF3dString(hid_t object, const char* name, std::string& text) {
    const Hdf5Handle attribute = openAttribute(object, name);
    if (!attribute.valid() || !hasElementCount(attribute.get(), 1)) {
        return false;
    }
    const Hdf5Handle type(H5Aget_type(attribute.get()), H5Tclose);
    if (!type.valid() || H5Tget_class(type.get()) != H5T_STRING ||
        H5Tis_variable_str(type.get()) != 0) {
        return false;
    }
    const size_t bytes = H5Tget_size(type.get());
    if (bytes == 0 || bytes > MaxStringBytes) {
        return false;
    }
    // Read with the file's own string type: no conversion, exactly `bytes` bytes.
    std::unique_ptr<char[]> buffer(new char[bytes + 1]);
    if (H5Aread(attribute.get(), type.get(), buffer.get()) < 0) {
        return false;
    }
    buffer[bytes] = '\0';
    text.assign(buffer.get(), std::strlen(buffer.get()));
    return true;
}
