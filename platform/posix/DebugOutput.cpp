// SPDX-License-Identifier: Apache-2.0
// Stand-in for the debugger output. There is no debugger channel on POSIX, so text goes
// nowhere unless KORLOADER_DEBUG_OUTPUT names "stderr" or a file; never to stdout.
#include "platform/Platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace Platform {
namespace {

struct HookSlot {
    DebugOutputHook hook;
    void* context;
};

std::mutex hookMutex;
HookSlot installedHook{nullptr, nullptr};

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
    if (text == nullptr) {
        return;
    }
    HookSlot slot;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        slot = installedHook;
    }
    if (slot.hook != nullptr) {
        slot.hook(text, slot.context);
        return;
    }
    if (FILE* stream = destination()) {
        std::fputs(text, stream);
        std::fflush(stream);
    }
}

DebugOutputHook setDebugOutputHook(DebugOutputHook hook, void* context) {
    std::lock_guard<std::mutex> lock(hookMutex);
    const DebugOutputHook previous = installedHook.hook;
    installedHook = HookSlot{hook, context};
    return previous;
}

} // namespace Platform
