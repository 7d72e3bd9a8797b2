// SPDX-License-Identifier: Apache-2.0
// The Windows runtime has no memory streams: the input goes through a temporary file that
// the runtime deletes when the stream is closed ("D").
#include "tests/fuzz/InputStream.h"

namespace kortest {

FILE* openInputStream(const uint8_t* data, size_t size) {
    const std::string path = writeFuzzInputFile(data, size, "fuzz_input");
    FILE* file = std::fopen(path.c_str(), "rbD");
    if (file == nullptr) {
        std::remove(path.c_str());
    }
    return file;
}

} // namespace kortest
