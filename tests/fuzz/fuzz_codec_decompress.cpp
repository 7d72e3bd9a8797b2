// SPDX-License-Identifier: Apache-2.0
// Decompress on arbitrary bytes, both instantiations, into a bounded output with guard
// floats behind it: no crash, no hang, no write past the stated room, and a decoded
// stream writes the whole room (two decodes over different fillings must agree).
#include "codec/SGCompressor.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

template <int N>
int decode(const std::vector<uint8_t>& stream, std::vector<float>& out, uint64_t room) {
    SGCompressor<N> compressor;
    return compressor.Decompress(stream.data(), out.data(), false, stream.size(), room);
}

} // namespace

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
    constexpr float OtherGuard = -9876.5f;
    std::vector<float> out(room + 16, Guard);
    std::vector<float> again(room + 16, OtherGuard);
    const int result = grid ? decode<3>(stream, out, room) : decode<1>(stream, out, room);
    const int secondResult = grid ? decode<3>(stream, again, room) : decode<1>(stream, again, room);
    for (uint64_t i = room; i < out.size(); ++i) {
        if (std::memcmp(&out[i], &Guard, 4) != 0 || std::memcmp(&again[i], &OtherGuard, 4) != 0) {
            std::abort();
        }
    }
    if (result != secondResult ||
        (result != 0 && std::memcmp(out.data(), again.data(), room * 4) != 0)) {
        std::abort();
    }
    return 0;
}
