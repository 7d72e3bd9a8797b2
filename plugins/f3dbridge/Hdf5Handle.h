// SPDX-License-Identifier: Apache-2.0
// Owns one HDF5 identifier and closes it with the matching H5?close call, so that every
// path out of the reading code, refusals included, gives its identifiers back.
#pragma once

#include <hdf5.h>

class Hdf5Handle {
public:
    using Closer = herr_t (*)(hid_t);

    Hdf5Handle() : id(H5I_INVALID_HID), closer(nullptr) {}
    Hdf5Handle(hid_t handle, Closer close) : id(handle), closer(close) {}
    ~Hdf5Handle() { reset(); }
    Hdf5Handle(Hdf5Handle&& other) noexcept : id(other.id), closer(other.closer) {
        other.id = H5I_INVALID_HID;
    }
    Hdf5Handle& operator=(Hdf5Handle&& other) noexcept {
        if (this != &other) {
            reset();
            id = other.id;
            closer = other.closer;
            other.id = H5I_INVALID_HID;
        }
        return *this;
    }
    Hdf5Handle(const Hdf5Handle&) = delete;
    Hdf5Handle& operator=(const Hdf5Handle&) = delete;

    bool valid() const { return id >= 0; }
    hid_t get() const { return id; }

private:
    void reset() {
        if (id >= 0 && closer != nullptr) {
            closer(id);
        }
        id = H5I_INVALID_HID;
    }

    hid_t id;
    Closer closer;
};
