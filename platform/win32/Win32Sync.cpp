// SPDX-License-Identifier: Apache-2.0
// Locks and events on Windows objects: critical sections (recursive, spinning before they
// sleep), auto-reset events and an unnamed mutex. A creation that fails leaves a null
// handle, and waiting on it reports a time-out rather than crashing.
#include "platform/Platform.h"

#include <new>
#include <windows.h>

namespace Platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "critical section storage too small");
static_assert(sizeof(HANDLE) <= 64, "handle storage too small");

CRITICAL_SECTION* asSection(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

HANDLE& asHandle(unsigned char* storage) {
    return *reinterpret_cast<HANDLE*>(storage);
}

} // namespace

CriticalSection::CriticalSection(uint32_t spinCount) {
    InitializeCriticalSectionAndSpinCount(new (storage) CRITICAL_SECTION, spinCount);
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(asSection(storage));
}
void CriticalSection::Enter() {
    EnterCriticalSection(asSection(storage));
}
void CriticalSection::Leave() {
    LeaveCriticalSection(asSection(storage));
}

Event::Event() {
    // Auto-reset, not signalled.
    new (storage) HANDLE(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

Event::~Event() {
    if (asHandle(storage) != nullptr) {
        CloseHandle(asHandle(storage));
    }
}

void Event::Set() {
    SetEvent(asHandle(storage));
}

void Event::Reset() {
    ResetEvent(asHandle(storage));
}

bool Event::Wait(uint32_t timeoutMs) {
    static_assert(WaitForever == INFINITE, "WaitForever is INFINITE");
    return WaitForSingleObject(asHandle(storage), timeoutMs) == WAIT_OBJECT_0;
}

Mutex::Mutex() {
    new (storage) HANDLE(CreateMutexW(nullptr, FALSE, nullptr));
}

Mutex::~Mutex() {
    if (asHandle(storage) != nullptr) {
        CloseHandle(asHandle(storage));
    }
}

void Mutex::Lock() {
    WaitForSingleObject(asHandle(storage), INFINITE);
}

void Mutex::Unlock() {
    ReleaseMutex(asHandle(storage));
}

} // namespace Platform
