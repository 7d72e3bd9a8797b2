// SPDX-License-Identifier: Apache-2.0
// Process-wide state of the two plug-in modules and the axis mode. Written only by
// initalizeKoraLoader and at unload; frames may be opened on other threads meanwhile, so
// readers get copies, and a module becomes visible only once it is ready. A ready module
// stays ready with the same entry points until unload, so a copy never goes stale.
#pragma once

#include "foreign/PluginEntryPoints.h"

#include <cstdint>

// One plug-in module. The entry points are null when absent, and all of them are cleared
// when the module is rejected; the handle then stays set until unload.
struct PluginModule {
    void* handle;
    InitializeFunction* initialize;
    SetThreadManagerFunction* setThreadManager;
    ReleaseThreadManagerFunction* releaseThreadManager;
    ImportFrameF3DFunction* importFrameF3D; // Field3D module only
    ImportFrameVDBFunction* importFrameVDB; // OpenVDB module only
    GetAvailableChannelsFunction* getAvailableChannels;
    ExportFrameFunction* exportFrame; // OpenVDB module only; optional
};

enum PluginModuleBit : int {
    F3dModuleBit = 1,
    VdbModuleBit = 2,
};

// Copies of the current state.
PluginModule f3dPlugin();
PluginModule vdbPlugin();
// All required entry points are resolved and Initialize returned 0.
bool f3dPluginReady();
bool vdbPluginReady();

// The third argument of the last initalizeKoraLoader call; 0 before it.
int32_t axisMode();
void setAxisMode(int32_t mode);

constexpr int ModulePathBytes = 1024;

// The file a module is loaded from: "<base><ext>" without a suffix (left to the system's
// search), "<base>_<suffix><ext>" without directories, else the first such file that
// exists in one of the directories. False when none does or the path does not fit.
bool composeModulePath(char (&path)[ModulePathBytes], const char* searchDirectories,
                       const char* moduleSuffix, const char* baseName);

// Finds, loads, checks and initialises the modules whose bits moduleMask holds, Field3D
// first. A module already loaded by an earlier call is not loaded again and reports its
// bit only when it is ready. Returns the bits of the modules that are ready.
int loadPluginModules(int moduleMask, const char* searchDirectories, const char* moduleSuffix);

// Unloads both modules and forgets the axis mode. The library calls it once at unload,
// after the frames are gone.
void releasePluginModules();
