// SPDX-License-Identifier: Apache-2.0
// Composing module file names, searching the directory list, loading and accepting the
// plug-in modules. Nothing here logs: a module that cannot be used shows only as a
// missing bit in the result. Modules log through the library's own log.
#include "foreign/PluginModules.h"

#include "foreign/FormatBounded.h"
#include "foreign/PathListTokenizer.h"
#include "korloader/KorMappings.h"
#include "platform/Platform.h"
#include "support/Messages.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

// Lock order: loadingMutex before tableMutex. loadingMutex serialises the writers (loading
// and unloading) and is held while a module's Initialize runs; tableMutex is held only to
// copy a module's entry in or out, so readers never wait for a module to load.
std::mutex loadingMutex;
std::mutex tableMutex;
PluginModule f3dModule;
PluginModule vdbModule;
std::atomic<int32_t> currentAxisMode{0};

template <typename Function>
Function* resolve(void* handle, const char* name) {
    return reinterpret_cast<Function*>(Platform::findModuleSymbol(handle, name));
}

// Modules that take the library's log send their messages to the host's log file.
void setModuleLogSink(void* handle, LogSinkFunction* sink) {
    if (auto* const setLogSink = resolve<SetLogSinkFunction>(handle, "SetLogSink")) {
        setLogSink(sink);
    }
}

bool isReady(const PluginModule& module) {
    const bool importResolved =
        module.importFrameF3D != nullptr || module.importFrameVDB != nullptr;
    return module.initialize != nullptr && module.setThreadManager != nullptr &&
           module.releaseThreadManager != nullptr && importResolved &&
           module.getAvailableChannels != nullptr;
}

void clearEntryPoints(PluginModule& module) {
    void* const handle = module.handle;
    module = PluginModule{};
    module.handle = handle;
}

PluginModule copyOf(const PluginModule& module) {
    const std::lock_guard<std::mutex> lock(tableMutex);
    return module;
}

void publish(PluginModule& slot, const PluginModule& module) {
    const std::lock_guard<std::mutex> lock(tableMutex);
    slot = module;
}

// Loads one module into slot; returns whether it ended up ready. The caller holds
// loadingMutex. Readers see the module only after its Initialize has answered, so no
// frame is ever imported through a module that is not initialised yet.
bool loadPluginModule(PluginModule& slot, const char* baseName, bool isVdb,
                      const char* searchDirectories, const char* moduleSuffix) {
    if (slot.handle != nullptr) {
        return isReady(slot);
    }
    char path[ModulePathBytes];
    if (!composeModulePath(path, searchDirectories, moduleSuffix, baseName)) {
        return false;
    }
    PluginModule module{};
    module.handle = Platform::loadModule(path);
    if (module.handle == nullptr) {
        (void)Platform::lastModuleError();
        return false;
    }
    module.initialize = resolve<InitializeFunction>(module.handle, "Initialize");
    module.setThreadManager = resolve<SetThreadManagerFunction>(module.handle, "SetThreadManager");
    module.releaseThreadManager =
        resolve<ReleaseThreadManagerFunction>(module.handle, "ReleaseThreadManager");
    if (isVdb) {
        module.importFrameVDB = resolve<ImportFrameVDBFunction>(module.handle, "ImportFrameVDB");
    } else {
        module.importFrameF3D = resolve<ImportFrameF3DFunction>(module.handle, "ImportFrameF3D");
    }
    module.getAvailableChannels =
        resolve<GetAvailableChannelsFunction>(module.handle, "GetAvailableChannels");
    if (isVdb) {
        module.exportFrame = resolve<ExportFrameFunction>(module.handle, "ExportFrame");
    }
    const bool resolved = isReady(module);
    if (resolved) {
        setModuleLogSink(module.handle, &logText);
    }
    const bool ready = resolved && module.initialize() == 0;
    if (!ready) {
        clearEntryPoints(module);
    }
    publish(slot, module);
    return ready;
}

// The caller holds loadingMutex.
void releaseModule(PluginModule& slot) {
    void* const handle = slot.handle;
    publish(slot, PluginModule{});
    if (handle != nullptr) {
        setModuleLogSink(handle, nullptr);
        Platform::freeModule(handle);
        (void)Platform::lastModuleError();
    }
}

} // namespace

// A path cut by the buffer names some other file, so it is never tried.
bool composeModulePath(char (&path)[ModulePathBytes], const char* searchDirectories,
                       const char* moduleSuffix, const char* baseName) {
    const char* const prefix = "";
    const char* const extension = Platform::moduleExtension();
    if (moduleSuffix == nullptr) {
        return formatBounded(path, ModulePathBytes, "%s%s%s", prefix, baseName, extension) >= 0;
    }
    if (searchDirectories == nullptr) {
        return formatBounded(path, ModulePathBytes, "%s%s_%s%s", prefix, baseName, moduleSuffix,
                             extension) >= 0;
    }
    PathListTokenizer directories;
    for (const char* entry = directories.first(searchDirectories); entry != nullptr;
         entry = directories.next()) {
        const char last = entry[0] != '\0' ? entry[std::strlen(entry) - 1] : '\0';
        const char* const format = last == '/' || last == '\\' ? "%s%s%s_%s%s" : "%s/%s%s_%s%s";
        if (formatBounded(path, ModulePathBytes, format, entry, prefix, baseName, moduleSuffix,
                          extension) >= 0 &&
            Platform::fileExists(path)) {
            return true;
        }
    }
    return false;
}

PluginModule f3dPlugin() {
    return copyOf(f3dModule);
}

PluginModule vdbPlugin() {
    return copyOf(vdbModule);
}

bool f3dPluginReady() {
    return isReady(f3dPlugin());
}

bool vdbPluginReady() {
    return isReady(vdbPlugin());
}

int32_t axisMode() {
    return currentAxisMode.load();
}

void setAxisMode(int32_t mode) {
    currentAxisMode.store(mode);
}

int loadPluginModules(int moduleMask, const char* searchDirectories, const char* moduleSuffix) {
    const std::lock_guard<std::mutex> lock(loadingMutex);
    int ready = 0;
    if ((moduleMask & F3dModuleBit) != 0 &&
        loadPluginModule(f3dModule, "f3dbridge", false, searchDirectories, moduleSuffix)) {
        ready |= F3dModuleBit;
    }
    if ((moduleMask & VdbModuleBit) != 0 &&
        loadPluginModule(vdbModule, "vdbbridge", true, searchDirectories, moduleSuffix)) {
        ready |= VdbModuleBit;
    }
    return ready;
}

void releasePluginModules() {
    const std::lock_guard<std::mutex> lock(loadingMutex);
    releaseModule(f3dModule);
    releaseModule(vdbModule);
    currentAxisMode.store(0);
}

// Hosts link against this spelling.
int initalizeKoraLoader(const char* searchDirectories, const char* moduleSuffix, int mode) {
    setAxisMode(mode);
    return loadPluginModules(F3dModuleBit | VdbModuleBit, searchDirectories, moduleSuffix);
}
