// SPDX-License-Identifier: Apache-2.0
// The module's entry points. HDF5 keeps process-wide state and is not built thread-safe
// everywhere, while hosts may list channels from any thread, so one lock serialises every
// call into the reading core.
#include "foreign/PluginEntryPoints.h"
#include "plugins/f3dbridge/F3dFile.h"
#include "plugins/f3dbridge/F3dImport.h"
#include "support/Messages.h"

#include <mutex>

namespace {

std::mutex& hdf5Lock() {
    static std::mutex lock;
    return lock;
}

} // namespace

KOR_PLUGIN_ENTRY int Initialize() {
    try {
        const std::lock_guard<std::mutex> guard(hdf5Lock());
        if (H5open() < 0) {
            logMessage("f3dbridge: HDF5 failed to initialise\n");
            return 1;
        }
        silenceHdf5Errors();
        return 0;
    } catch (...) {
        logMessage("f3dbridge: initialisation failed\n");
        return 1;
    }
}

// Reading runs on the caller's thread; there is nothing to hand to a thread manager.
KOR_PLUGIN_ENTRY void SetThreadManager() {}

KOR_PLUGIN_ENTRY void ReleaseThreadManager() {}

KOR_PLUGIN_ENTRY void SetLogSink(LogSinkFunction* sink) {
    forwardLogMessages(sink);
}

KOR_PLUGIN_ENTRY void GetAvailableChannels(const char* path,
                                           CacheIO::AvailableChannelList* channels) {
    try {
        const std::lock_guard<std::mutex> guard(hdf5Lock());
        appendF3dChannels(path, channels);
    } catch (...) {
        logMessage("f3dbridge: listing channels failed\n");
    }
}

KOR_PLUGIN_ENTRY int ImportFrameF3D(const char* path, FluxaFrameData* frame, char headerOnly,
                                    CacheIO::GridMapping* mappings, int count) {
    try {
        const std::lock_guard<std::mutex> guard(hdf5Lock());
        return static_cast<int>(
            fillFrameFromF3d(path, frame, headerOnly != 0, mappings, count, F3dDefaultVoxelBudget));
    } catch (...) {
        logMessage("f3dbridge: import failed\n");
        return static_cast<int>(F3dResult::Unexpected);
    }
}
