// SPDX-License-Identifier: Apache-2.0
// Process-wide state, built when the library loads and torn down when it unloads, in one
// place so that the order is explicit: frames first (their job sets hold pool threads),
// then the thread pool.
#include "jobs/ThreadManagerStack.h"
#include "jobs/ThreadPoolControl.h"
#include "korloader/IKor.h"

namespace {

class LibraryState {
public:
    ~LibraryState() {
        XUtils::removeThreadManager(&threadPool);
        // threadPool's destructor joins its threads after this body.
    }

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
