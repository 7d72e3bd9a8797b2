// SPDX-License-Identifier: Apache-2.0
// Loads the library into a process that has not loaded it yet and checks what loading
// does: the thread pool announces itself on the debugger output and no thread starts.
// Exits 0 on success; the message says what went wrong otherwise.
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <string>

namespace {

int threadCount() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::atoi(line.c_str() + 8);
        }
    }
    return -1;
}

} // namespace

int main() {
    const char* debugFile = std::getenv("KORLOADER_DEBUG_OUTPUT");
    if (debugFile == nullptr) {
        std::fprintf(stderr, "KORLOADER_DEBUG_OUTPUT is not set\n");
        return 1;
    }
    std::remove(debugFile);
    void* library = dlopen(KORLOADER_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "load failed: %s\n", dlerror());
        return 1;
    }
    const int threads = threadCount();
    dlclose(library);
    std::ifstream in(debugFile);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(debugFile);
    if (threads != 1) {
        std::fprintf(stderr, "loading started threads: %d running\n", threads);
        return 1;
    }
    if (text.str() != "[WinThreadManager] Constructor.\n") {
        std::fprintf(stderr, "unexpected debugger output: '%s'\n", text.str().c_str());
        return 1;
    }
    std::printf("load announced the pool and started no thread\n");
    return 0;
}
