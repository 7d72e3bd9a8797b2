// SPDX-License-Identifier: Apache-2.0
// Any byte string must come back unchanged from UTF-8 -> UTF-16 -> UTF-8, and counting
// must agree with converting, also into cramped buffers.
#include "support/Utf8.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    const size_t length = std::strlen(text.data());
    const int64_t units = utf8ToUtf16(text.data(), nullptr, 0);
    std::vector<uint16_t> wide(size_t(units) + 1);
    if (utf8ToUtf16(text.data(), wide.data(), int64_t(wide.size())) != units) {
        std::abort();
    }
    const int64_t bytes = utf16ToUtf8(wide.data(), nullptr, 0);
    std::vector<char> back(size_t(bytes) + 1);
    if (utf16ToUtf8(wide.data(), back.data(), int64_t(back.size())) != bytes ||
        size_t(bytes) != length || std::memcmp(back.data(), text.data(), length) != 0) {
        std::abort();
    }
    // Short buffers: nothing is written past the capacity (a sentinel guards it).
    const int64_t cramped = size > 0 ? int64_t(data[0] % 8) : 0;
    std::vector<uint16_t> shortWide(static_cast<size_t>(cramped) + 1, 0xABCD);
    if (utf8ToUtf16(text.data(), shortWide.data(), cramped) > cramped ||
        shortWide[size_t(cramped)] != 0xABCD) {
        std::abort();
    }
    std::vector<char> shortBytes(static_cast<size_t>(cramped) + 1, '\x55');
    if (utf16ToUtf8(wide.data(), shortBytes.data(), cramped) > cramped ||
        shortBytes[size_t(cramped)] != '\x55') {
        std::abort();
    }
    return 0;
}
