// SPDX-License-Identifier: Apache-2.0
// Plug-in modules through LoadLibraryW. A bare file name goes to the system's DLL search
// (the host's directory, the system folders, PATH); a path is taken as it stands.
#include "platform/Platform.h"
#include "platform/win32/WidePath.h"

#include <cstdio>
#include <windows.h>

namespace Platform {

void* loadModule(const char* utf8Path) {
    WidePath widePath(utf8Path);
    if (widePath.Get() == nullptr) {
        return nullptr;
    }
    // Paths composed with '/' are valid on Windows, but the loader's documentation asks
    // for backslashes.
    widePath.UseBackslashes();
    return LoadLibraryW(widePath.Get());
}

void* findModuleSymbol(void* module, const char* name) {
    if (module == nullptr || name == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void freeModule(void* module) {
    if (module != nullptr) {
        FreeLibrary(static_cast<HMODULE>(module));
    }
}

const char* lastModuleError() {
    const DWORD error = GetLastError();
    if (error == 0) {
        return "";
    }
    thread_local char text[32];
    std::snprintf(text, sizeof text, "Windows error %lu", static_cast<unsigned long>(error));
    return text;
}

const char* moduleExtension() {
    return ".dll";
}

} // namespace Platform
