// SPDX-License-Identifier: Apache-2.0
// The debugger output is OutputDebugStringA: a debugger, or any tool that reads the
// DBWIN buffer, sees it; without one it costs almost nothing.
#include "platform/DebugOutputHook.h"
#include "platform/Platform.h"

#include <windows.h>

namespace Platform {

void debugOutput(const char* text) {
    if (text == nullptr || deliverToDebugOutputHook(text)) {
        return;
    }
    OutputDebugStringA(text);
}

} // namespace Platform
