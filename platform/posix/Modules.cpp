// SPDX-License-Identifier: Apache-2.0
// Plug-in modules through dlopen. Symbols stay local to each module so that two plug-ins
// built on different versions of a library cannot bind to each other's copies.
#include "platform/Platform.h"

#include <dlfcn.h>

namespace Platform {

void* loadModule(const char* utf8Path) {
    if (utf8Path == nullptr) {
        return nullptr;
    }
    return dlopen(utf8Path, RTLD_NOW | RTLD_LOCAL);
}

void* findModuleSymbol(void* module, const char* name) {
    if (module == nullptr || name == nullptr) {
        return nullptr;
    }
    return dlsym(module, name);
}

void freeModule(void* module) {
    if (module != nullptr) {
        dlclose(module);
    }
}

const char* lastModuleError() {
    const char* error = dlerror();
    return error != nullptr ? error : "";
}

const char* moduleExtension() {
    return ".so";
}

} // namespace Platform
