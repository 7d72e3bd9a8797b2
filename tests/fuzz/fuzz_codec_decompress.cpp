// SPDX-License-Identifier: Apache-2.0
// Decompress on arbitrary bytes, both instantiations, into a bounded output with guard
// floats behind it: no crash, no hang, no write past the stated room.
#include "codec/SGCompressor.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    // First byte: the instantiation and the room; the stream follows in an exact-size block.
    const bool grid = (data[0] & 1) != 0;
    const uint64_t room = uint64_t(1) << (data[0] >> 4);
    std::vector<uint8_t> stream(data + 1, data + size);
    stream.shrink_to_fit();
    constexpr float Guard = 1234.5f;
    std::vector<float> out(room + 16, Guard);
    if (grid) {
        SGCompressor<3> compressor;
        compressor.Decompress(stream.data(), out.data(), false, stream.size(), room);
    } else {
        SGCompressor<1> compressor;
        compressor.Decompress(stream.data(), out.data(), false, stream.size(), room);
    }
    for (uint64_t i = room; i < out.size(); ++i) {
        if (std::memcmp(&out[i], &Guard, 4) != 0) {
            std::abort();
        }
    }
    return 0;
}
