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

#include <cstring>

namespace {

PluginModule f3dModule;
PluginModule vdbModule;
int32_t currentAxisMode = 0;

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

// Loads one module; returns whether it ended up ready.
bool loadPluginModule(PluginModule& module, const char* baseName, bool isVdb,
                      const char* searchDirectories, const char* moduleSuffix) {
    if (module.handle != nullptr) {
        return isReady(module);
    }
    char path[ModulePathBytes];
    if (!composeModulePath(path, searchDirectories, moduleSuffix, baseName)) {
        return false;
    }
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
    const bool ready = isReady(module);
    if (ready) {
        setModuleLogSink(module.handle, &logText);
    }
    if (!ready || module.initialize() != 0) {
        clearEntryPoints(module);
        return false;
    }
    return true;
}

void releaseModule(PluginModule& module) {
    if (module.handle != nullptr) {
        setModuleLogSink(module.handle, nullptr);
        Platform::freeModule(module.handle);
        (void)Platform::lastModuleError();
    }
    module = PluginModule{};
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

const PluginModule& f3dPlugin() {
    return f3dModule;
}

const PluginModule& vdbPlugin() {
    return vdbModule;
}

bool f3dPluginReady() {
    return isReady(f3dModule);
}

bool vdbPluginReady() {
    return isReady(vdbModule);
}

int32_t axisMode() {
    return currentAxisMode;
}

void setAxisMode(int32_t mode) {
    currentAxisMode = mode;
}

int loadPluginModules(int moduleMask, const char* searchDirectories, const char* moduleSuffix) {
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
    releaseModule(f3dModule);
    releaseModule(vdbModule);
    currentAxisMode = 0;
}

// Hosts link against this spelling.
int initalizeKoraLoader(const char* searchDirectories, const char* moduleSuffix, int mode) {
    setAxisMode(mode);
    return loadPluginModules(F3dModuleBit | VdbModuleBit, searchDirectories, moduleSuffix);
}
