// SPDX-License-Identifier: Apache-2.0
// The only door to the operating system. Everything above talks to these declarations;
// CMake compiles platform/posix or platform/win32 behind them. Paths cross as UTF-8 bytes:
// the Win32 side turns them into UTF-16 with support's lossless conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace Platform {

// Wait forever, as INFINITE does for WaitForSingleObject.
constexpr uint32_t WaitForever = 0xFFFFFFFFu;

// A recursive lock that spins before it sleeps (a critical section). Opaque storage keeps
// native headers out of every includer; the implementation checks that its type fits.
class CriticalSection {
public:
    explicit CriticalSection(uint32_t spinCount = 2000);
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter();
    void Leave();

private:
    alignas(16) unsigned char storage[64];
};

// Scoped hold of a CriticalSection.
class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CriticalSection& held) : section(held) { section.Enter(); }
    ~CriticalSectionGuard() { section.Leave(); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

private:
    CriticalSection& section;
};

// An auto-reset event: one successful wait consumes the signal.
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within the time-out (WaitForever: no time-out).
    bool Wait(uint32_t timeoutMs);

private:
    alignas(16) unsigned char storage[128];
};

// An unnamed, non-recursive process mutex.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void Lock();
    void Unlock();

private:
    alignas(16) unsigned char storage[64];
};

// Loadable modules. Handles are null on failure; lastModuleError() says why.
void* loadModule(const char* utf8Path);
void* findModuleSymbol(void* module, const char* name);
void freeModule(void* module);
const char* lastModuleError();
// ".so" here, ".dll" on Windows.
const char* moduleExtension();

// One directory search: names of the entries matching the last path component of the
// pattern, where '*' matches any run of bytes and '?' any one byte.
class DirectorySearch {
public:
    DirectorySearch() = default;
    ~DirectorySearch() { Close(); }
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // False when nothing matches (or the directory cannot be read); true with the first name.
    bool First(const char* utf8Pattern);
    // False once the search is exhausted.
    bool Next();
    // The current entry's name, UTF-8, without the directory.
    const char* Name() const;

private:
    // What the platform's directory calls need between First and Next.
    struct State;
    void Close();

    State* state = nullptr;
};

// Debugger output (OutputDebugStringA on Windows). On POSIX it is discarded unless
// KORLOADER_DEBUG_OUTPUT is "stderr" or a file path; a hook takes it for tests.
void debugOutput(const char* text);
using DebugOutputHook = void (*)(const char* text, void* context);
// Installs a hook that receives every debug output instead of its usual destination;
// null restores it. Returns the previous hook.
DebugOutputHook setDebugOutputHook(DebugOutputHook hook, void* context);

// Files.
FILE* openFile(const char* utf8Path, const char* mode);
bool seekFile(FILE* file, int64_t offset, int origin);
int64_t tellFile(FILE* file);
bool fileExists(const char* utf8Path);
bool createDirectory(const char* utf8Path);

// Processors.
int processorCount();
// Processors summed over all NUMA nodes; 0 when the topology cannot be read.
int numaProcessorCount();

const char* getEnvironment(const char* name);

// Transparent huge pages for the part of [address, address + bytes) that is 2 MiB aligned.
// Purely advisory.
void adviseHugePages(void* address, size_t bytes);

// The library's lifetime in its host. Windows unloads a library under a lock that every
// thread needs to finish, and at process exit only after it has stopped all other threads
// mid-flight, so teardown there must neither join nor wait for another thread.
//
// True while the process is ending and its other threads are already gone (Windows
// only; on POSIX exit handlers run while every thread still runs).
bool processIsEnding();
// Keeps the library that holds this code loaded until the process ends, so that a host
// unloading it cannot make it wait for its own threads (a no-op on POSIX).
void keepLibraryLoaded();

} // namespace Platform
