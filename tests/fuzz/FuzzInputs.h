// SPDX-License-Identifier: Apache-2.0
// Ways of handing one fuzz input to the code under test: as a file on disk for readers
// that open paths, or as a frame read from an in-memory stream.
#pragma once

#include "cachefile/KorReader.h"
#include "frame/FluxaFrameData.h"
#include "tests/fuzz/InputStream.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kortest {

// Reads the input as a "kor" file through an in-memory stream. Null when the stream
// cannot be opened (fmemopen refuses empty buffers); result holds the reader's answer.
inline std::unique_ptr<FluxaFrameData> readFuzzFrame(const uint8_t* data, size_t size,
                                                     bool headerOnly, int& result) {
    if (size == 0) {
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    std::memcpy(copy.get(), data, size);
    FILE* file = openInputStream(copy.get(), size);
    if (file == nullptr) {
        return nullptr;
    }
    std::unique_ptr<FluxaFrameData> frame(new FluxaFrameData());
    result = readKorStream(frame.get(), file, "fuzz.kor", headerOnly);
    std::fclose(file);
    return frame;
}

} // namespace kortest
