// SPDX-License-Identifier: Apache-2.0
// kortool channels: the grids a VDB or Field3D file offers, as the plug-in reports them
// (with its flag: such a grid never becomes the smoke fallback), and the default mapping
// string that newIKor would use, ready for --mapping.
#include "Commands.h"
#include "tools/common/FrameNames.h"

#include <cstdio>
#include <korloader/KorMappings.h>
#include <vector>

namespace kortool {

namespace {

constexpr int TextBytes = 65536;

} // namespace

int runChannels(const std::string& file) {
    const std::string format = frameFormat(file);
    if (format != "vdb" && format != "f3d") {
        std::fprintf(stderr,
                     "kortool channels: %s is not a VDB or Field3D file; kor files "
                     "store channel slots and need no mapping\n",
                     file.c_str());
        return 2;
    }
    std::vector<char> name(TextBytes);
    int count = 0;
    for (int index = 0;; ++index) {
        int flag = 0;
        if (korGet3rdPartyChannelName(name.data(), TextBytes, &flag, file.c_str(), index) < 0) {
            break;
        }
        if (flag != 0) {
            std::printf("%-24s flagged\n", name.data());
        } else {
            std::printf("%s\n", name.data());
        }
        ++count;
    }
    if (count == 0) {
        std::fprintf(stderr,
                     "kortool channels: %s offers no channels (missing file, or the "
                     "%s plug-in is not loaded)\n",
                     file.c_str(), format == "vdb" ? "vdbbridge" : "f3dbridge");
        return 1;
    }
    korGenerateDefaultChannelMappings(name.data(), TextBytes, file.c_str());
    std::printf("default mapping: %s\n", name.data());
    return 0;
}

} // namespace kortool
