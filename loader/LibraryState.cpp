// SPDX-License-Identifier: Apache-2.0
// Process-wide state, built when the library loads and torn down when it unloads, in one
// place so that the order is explicit: frames first (their job sets run on the pool),
// then the plug-in modules, then the thread pool.
#include "foreign/PluginModules.h"
#include "jobs/ThreadManagerStack.h"
#include "jobs/ThreadPoolControl.h"
#include "korloader/IKor.h"
#include "loader/FrameRegistry.h"
#include "platform/Platform.h"

#include <new>

namespace {

class LibraryState {
public:
    LibraryState() {
        // Statics die in the reverse order of their construction: touching the registry
        // here keeps it alive until this destructor has emptied it.
        FluxaFrame::registeredFrames();
        new (poolStorage) XUtils::ThreadPool;
    }

    ~LibraryState() {
        destroyAllFrames();
        // Frames imported by a plug-in may hold its memory; the modules go after them.
        releasePluginModules();
        XUtils::removeThreadManager(&threadPool());
        // Joins the pool's threads, unless the process is ending: they are gone then,
        // and the system reclaims what the pool holds.
        if (!Platform::processIsEnding()) {
            threadPool().~ThreadPool();
        }
    }

    LibraryState(const LibraryState&) = delete;
    LibraryState& operator=(const LibraryState&) = delete;

    // The pool exists from load on, and starts threads only when a host asks for them.
    XUtils::ThreadPool& threadPool() {
        return *std::launder(reinterpret_cast<XUtils::ThreadPool*>(poolStorage));
    }

private:
    alignas(XUtils::ThreadPool) unsigned char poolStorage[sizeof(XUtils::ThreadPool)];
};

LibraryState& libraryState() {
    static LibraryState state;
    return state;
}

// Built during load rather than on first use, as hosts see it happen then.
const LibraryState& builtAtLoad = libraryState();

} // namespace

int korSetThreadCount(int threads) {
    if (threads > 0) {
        // A host that unloads the library while the pool has threads would otherwise
        // make the unload wait for them, which Windows never lets finish.
        Platform::keepLibraryLoaded();
    }
    return setThreadPoolThreads(libraryState().threadPool(), threads);
}
