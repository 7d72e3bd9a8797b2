// SPDX-License-Identifier: Apache-2.0
// fmemopen reads the input where it lies, so campaigns do not touch the disk.
#include "tests/fuzz/InputStream.h"

namespace kortest {

FILE* openInputStream(const uint8_t* data, size_t size) {
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

} // namespace kortest
