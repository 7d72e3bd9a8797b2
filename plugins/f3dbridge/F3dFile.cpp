// SPDX-License-Identifier: Apache-2.0
#include "plugins/f3dbridge/F3dFile.h"

#include "platform/Platform.h"
#include "plugins/f3dbridge/F3dResult.h"

#include <cstdio>
#include <cstring>

namespace {

// HDF5 superblock signature; Field3D writes no user block, so it sits at offset 0.
constexpr unsigned char Hdf5Magic[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1A, '\n'};
// Ogawa archives start with these 5 bytes, then a completion byte and a version.
constexpr unsigned char OgawaMagic[5] = {'O', 'g', 'a', 'w', 'a'};

} // namespace

void silenceHdf5Errors() {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

F3dFile::F3dFile(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        refuseF3d(F3dResult::CannotOpen, "f3dbridge: no file path given\n");
    }
    FILE* stream = Platform::openFile(path, "rb");
    if (stream == nullptr) {
        refuseF3d(F3dResult::CannotOpen, "f3dbridge: cannot open %s\n", path);
    }
    unsigned char head[8] = {};
    const size_t headBytes = std::fread(head, 1, sizeof head, stream);
    std::fclose(stream);
    if (headBytes >= sizeof OgawaMagic && std::memcmp(head, OgawaMagic, sizeof OgawaMagic) == 0) {
        refuseF3d(F3dResult::OgawaEncoding,
                  "f3dbridge: %s uses Field3D's Ogawa encoding; only HDF5-encoded .f3d files "
                  "are supported\n",
                  path);
    }
    if (headBytes != sizeof Hdf5Magic || std::memcmp(head, Hdf5Magic, sizeof Hdf5Magic) != 0) {
        refuseF3d(F3dResult::CannotOpen, "f3dbridge: %s is not an HDF5-encoded Field3D file\n",
                  path);
    }
    file = Hdf5Handle(H5Fopen(path, H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
    if (!file.valid()) {
        refuseF3d(F3dResult::CannotOpen, "f3dbridge: HDF5 cannot open %s\n", path);
    }
}
