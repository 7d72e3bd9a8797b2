// SPDX-License-Identifier: Apache-2.0
// Stand-in for the debugger output. There is no debugger channel on POSIX, so text goes
// nowhere unless KORLOADER_DEBUG_OUTPUT names "stderr" or a file; never to stdout.
#include "platform/DebugOutputHook.h"
#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Platform {
namespace {

FILE* destination() {
    // Chosen once: the environment is read at first use, the file kept open for appends.
    static FILE* const stream = []() -> FILE* {
        const char* target = std::getenv("KORLOADER_DEBUG_OUTPUT");
        if (target == nullptr || *target == '\0') {
            return nullptr;
        }
        if (std::strcmp(target, "stderr") == 0) {
            return stderr;
        }
        return std::fopen(target, "a");
    }();
    return stream;
}

} // namespace

void debugOutput(const char* text) {
    if (text == nullptr || deliverToDebugOutputHook(text)) {
        return;
    }
    if (FILE* stream = destination()) {
        std::fputs(text, stream);
        std::fflush(stream);
    }
}

} // namespace Platform
