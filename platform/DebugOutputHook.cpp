// SPDX-License-Identifier: Apache-2.0
#include "platform/DebugOutputHook.h"

#include "platform/Platform.h"

#include <mutex>

namespace Platform {
namespace {

struct HookSlot {
    DebugOutputHook hook;
    void* context;
};

std::mutex hookMutex;
HookSlot installedHook{nullptr, nullptr};

} // namespace

bool deliverToDebugOutputHook(const char* text) {
    HookSlot slot;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        slot = installedHook;
    }
    if (slot.hook == nullptr) {
        return false;
    }
    slot.hook(text, slot.context);
    return true;
}

DebugOutputHook setDebugOutputHook(DebugOutputHook hook, void* context) {
    std::lock_guard<std::mutex> lock(hookMutex);
    const DebugOutputHook previous = installedHook.hook;
    installedHook = HookSlot{hook, context};
    return previous;
}

} // namespace Platform
