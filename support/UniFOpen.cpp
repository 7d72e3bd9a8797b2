// SPDX-License-Identifier: Apache-2.0
// Apart from the conversions in Utf8.cpp, which depend on nothing and sit below the
// platform layer: this one opens through it. The platform layer converts the path to
// what the system's file calls take (UTF-16 for _wfopen on Windows).
#include "platform/Platform.h"
#include "support/Utf8.h"

FILE* uniFOpen(const char* path, const char* mode) {
    return Platform::openFile(path, mode);
}
