// SPDX-License-Identifier: Apache-2.0
// The library's entry point reports success and nothing else, except that it notes when
// it is called because the process ends: Windows has then already stopped every other
// thread, and teardown must not wait for any of them.
#include "platform/Platform.h"

#include <atomic>
#include <windows.h>

namespace {

std::atomic<bool> ending{false};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // A non-null reserved argument on detach means process termination, not FreeLibrary.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        ending = true;
    }
    return TRUE;
}

namespace Platform {

bool processIsEnding() {
    return ending;
}

void keepLibraryLoaded() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&ending), &self);
}

} // namespace Platform
