// SPDX-License-Identifier: Apache-2.0
// Result codes of the f3dbridge imports, and the one exception the reading core raises.
// The library passes a plug-in's non-zero result to its caller unchanged, so the codes
// start above the library's own (0 to 10) to stay recognisable.
#pragma once

enum class F3dResult : int {
    Ok = 0,
    CannotOpen = 20,    // missing or unreadable file, or not an HDF5 file
    OgawaEncoding = 21, // Field3D's other container, which this module does not read
    BadLayout = 22,     // attributes or datasets contradict the Field3D layout
    NoMappedField = 23, // no mapping names a readable field of the file
    TooLarge = 24,      // the frame box or a field exceeds the frame's voxel limit
    OutOfMemory = 25,
    NoVoxels = 26,   // the mapped fields hold no voxel at all
    Unexpected = 27, // an exception from below (HDF5 or the runtime), caught at the top
};

// Raised only through refuseF3d, after the reason has been logged; caught once at the top
// of each import or listing.
class F3dRefusalException {
public:
    explicit F3dRefusalException(F3dResult code) : result(code) {}
    F3dResult result;
};

// Logs the printf-style reason, then raises F3dRefusalException with the result.
[[noreturn]] void refuseF3d(F3dResult result, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
