// SPDX-License-Identifier: Apache-2.0
// The module's entry points. Each one catches everything: no exception may reach the
// library. OpenVDB work runs in a one-thread task arena, so the module starts no worker
// threads in the host's process.
#include "foreign/PluginEntryPoints.h"
#include "frame/FluxaFrameData.h"
#include "plugins/vdbbridge/VdbChannelNames.h"
#include "plugins/vdbbridge/VdbFrameExport.h"
#include "plugins/vdbbridge/VdbFrameImport.h"
#include "plugins/vdbbridge/VdbResults.h"
#include "support/Messages.h"

#include <openvdb/openvdb.h>
#include <tbb/task_arena.h>

namespace {

template <typename Work>
auto runOnCallingThread(Work work) -> decltype(work()) {
    tbb::task_arena arena(1);
    return arena.execute(work);
}

} // namespace

KOR_PLUGIN_ENTRY int Initialize() {
    try {
        openvdb::initialize();
        return 0;
    } catch (...) {
        logMessage("vdbbridge: OpenVDB failed to initialise\n");
        return 1;
    }
}

// The module keeps no thread manager: its work always runs on the calling thread.
KOR_PLUGIN_ENTRY void SetThreadManager() {}

KOR_PLUGIN_ENTRY void ReleaseThreadManager() {}

KOR_PLUGIN_ENTRY void SetLogSink(LogSinkFunction* sink) {
    forwardLogMessages(sink);
}

KOR_PLUGIN_ENTRY void GetAvailableChannels(const char* path,
                                           CacheIO::AvailableChannelList* channels) {
    if (path == nullptr || channels == nullptr) {
        return;
    }
    try {
        // Collected first, so that a failure leaves the list as it was.
        const std::vector<vdbbridge::VdbChannel> found = runOnCallingThread(
            [&] { return vdbbridge::listChannels(vdbbridge::readFileInfo(path).grids); });
        for (const vdbbridge::VdbChannel& channel : found) {
            channels->Append(CacheIO::AvailableChannels(channel.name.c_str(), channel.flag));
        }
    } catch (const std::exception& error) {
        logMessage("vdbbridge: %s: cannot list channels: %s\n", path, error.what());
    } catch (...) {
        logMessage("vdbbridge: %s: cannot list channels\n", path);
    }
}

KOR_PLUGIN_ENTRY int ImportFrameVDB(const char* path, FluxaFrameData* frame, int* orientation,
                                    char headerOnly, CacheIO::GridMapping* mappings, int count) {
    if (path == nullptr || frame == nullptr || orientation == nullptr || count < 0 ||
        (mappings == nullptr && count > 0)) {
        return vdbbridge::VdbBadArguments;
    }
    try {
        return runOnCallingThread([&] {
            return vdbbridge::importFrame(path, *frame, *orientation, headerOnly != 0, mappings,
                                          count);
        });
    } catch (...) {
        logMessage("vdbbridge: %s: import failed\n", path);
        return vdbbridge::VdbInternalError;
    }
}

KOR_PLUGIN_ENTRY int ExportFrame(const char* path, FluxaFrameData* frame) {
    if (path == nullptr || frame == nullptr) {
        return vdbbridge::VdbBadArguments;
    }
    try {
        return runOnCallingThread([&] { return vdbbridge::exportFrame(path, *frame); });
    } catch (...) {
        logMessage("vdbbridge: %s: export failed\n", path);
        return vdbbridge::VdbInternalError;
    }
}
