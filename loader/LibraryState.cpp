// SPDX-License-Identifier: Apache-2.0
// Process-wide state, built when the library loads and torn down when it unloads, in one
// place so that the order is explicit: frames first (their job sets hold pool threads),
// then the plug-in modules, then the thread pool.
#include "foreign/PluginModules.h"
#include "jobs/ThreadManagerStack.h"
#include "jobs/ThreadPoolControl.h"
#include "korloader/IKor.h"
#include "loader/FrameRegistry.h"

namespace {

class LibraryState {
public:
    LibraryState() {
        // Statics die in the reverse order of their construction: touching the registry
        // here keeps it alive until this destructor has emptied it.
        FluxaFrame::registeredFrames();
    }

    ~LibraryState() {
        destroyAllFrames();
        // Frames imported by a plug-in may hold its memory; the modules go after them.
        releasePluginModules();
        XUtils::removeThreadManager(&threadPool);
        // threadPool's destructor joins its threads after this body.
    }

    LibraryState(const LibraryState&) = delete;
    LibraryState& operator=(const LibraryState&) = delete;

    // The pool exists from load on, and starts threads only when a host asks for them.
    XUtils::ThreadPool threadPool;
};

LibraryState& libraryState() {
    static LibraryState state;
    return state;
}

// Built during load rather than on first use, as hosts see it happen then.
const LibraryState& builtAtLoad = libraryState();

} // namespace

int korSetThreadCount(int threads) {
    return setThreadPoolThreads(libraryState().threadPool, threads);
}
