// SPDX-License-Identifier: Apache-2.0
// Typed reads of the small attributes Field3D writes on its groups. Each checks the
// stored type class and the element count before reading, so a hostile file can neither
// make HDF5 convert strings to numbers nor write past the caller's array. All return
// false, silently, for a missing or mismatched attribute; callers say why it matters.
#pragma once

#include <cstdint>
#include <hdf5.h>
#include <string>

bool hasF3dAttribute(hid_t object, const char* name);
// Exactly count integers (Field3D stores even single values as 1-D arrays).
bool readF3dInts(hid_t object, const char* name, int32_t* values, int64_t count);
// Exactly count floating-point values, converted to double or float.
bool readF3dDoubles(hid_t object, const char* name, double* values, int64_t count);
bool readF3dFloats(hid_t object, const char* name, float* values, int64_t count);
// A fixed-length string; the stored size need not include a terminator. Text past a
// zero byte is dropped.
bool readF3dString(hid_t object, const char* name, std::string& text);
