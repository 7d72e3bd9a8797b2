// SPDX-License-Identifier: Apache-2.0
// A host that leaves everything running: it gives the library a pool, decodes a zone
// container on it, unloads the library with the frame still open, and ends. Windows stops
// the pool's threads before it unloads the library at exit; neither the unload nor the
// exit may hang. The functions are found by their MSVC-decorated names.
//
//   korloader_exit_probe <frame.kor>      exit status 0 when all went as it should
#include <korloader/IKor.h>
#include <windows.h>

namespace {

template <typename Function>
Function* find(HMODULE library, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    const HMODULE library = LoadLibraryW(L"korloader.dll");
    if (library == nullptr) {
        return 3;
    }
    auto* const setThreadCount = find<int(int)>(library, "?korSetThreadCount@@YAHH@Z");
    auto* const open = find<IKor*(const char*)>(library, "?newIKor@@YAPEAVIKor@@PEBD@Z");
    if (setThreadCount == nullptr || open == nullptr) {
        return 4;
    }
    if (setThreadCount(2) != 2) {
        return 5;
    }
    IKor* const frame = open(argv[1]);
    if (frame == nullptr || frame->getChannel(FluxaEnum::Smoke) == nullptr) {
        return 6;
    }
    if (!FreeLibrary(library)) {
        return 7;
    }
    // The pool's threads keep the library loaded.
    return GetModuleHandleW(L"korloader.dll") != nullptr ? 0 : 8;
}
