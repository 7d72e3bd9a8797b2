// SPDX-License-Identifier: Apache-2.0
// An open Field3D file of the HDF5 encoding. The magic is checked before HDF5 sees the
// file, so that the Ogawa encoding (Field3D's default) is refused by name rather than as
// "not an HDF5 file".
#pragma once

#include "plugins/f3dbridge/Hdf5Handle.h"

class F3dFile {
public:
    // Refuses (F3dRefusalException, reason logged) a missing, Ogawa or non-HDF5 file.
    explicit F3dFile(const char* path);

    hid_t id() const { return file.get(); }

private:
    Hdf5Handle file;
};

// Turns HDF5's own error printing off for the calling thread; every entry into the
// reading core calls it, because the library must not write to the standard streams.
void silenceHdf5Errors();

// Silences HDF5's errors for one call into the reading core and empties the calling
// thread's error stack afterwards: HDF5 never frees a thread's stack when the thread
// ends, so a host thread that met a damaged file would leak its messages.
class Hdf5ErrorScope {
public:
    Hdf5ErrorScope() { silenceHdf5Errors(); }
    ~Hdf5ErrorScope() { H5Eclear2(H5E_DEFAULT); }
    Hdf5ErrorScope(const Hdf5ErrorScope&) = delete;
    Hdf5ErrorScope& operator=(const Hdf5ErrorScope&) = delete;
};
