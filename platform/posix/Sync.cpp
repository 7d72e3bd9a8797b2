// SPDX-License-Identifier: Apache-2.0
// Locks and events on pthreads. A critical section is recursive like its Windows model;
// the spin count has no pthread equivalent and is accepted for the interface's sake.
#include "platform/Platform.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>

namespace Platform {
namespace {

struct EventState {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    bool signalled;
};

static_assert(sizeof(pthread_mutex_t) <= 64, "critical section storage too small");
static_assert(sizeof(EventState) <= 128, "event storage too small");

pthread_mutex_t* asMutex(unsigned char* storage) {
    return reinterpret_cast<pthread_mutex_t*>(storage);
}

EventState* asEvent(unsigned char* storage) {
    return reinterpret_cast<EventState*>(storage);
}

timespec deadlineAfter(uint32_t timeoutMs) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}

} // namespace

CriticalSection::CriticalSection(uint32_t) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (storage) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() {
    pthread_mutex_destroy(asMutex(storage));
}
void CriticalSection::Enter() {
    pthread_mutex_lock(asMutex(storage));
}
void CriticalSection::Leave() {
    pthread_mutex_unlock(asMutex(storage));
}

Event::Event() {
    EventState* state = new (storage) EventState;
    pthread_mutex_init(&state->mutex, nullptr);
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&state->condition, &attributes);
    pthread_condattr_destroy(&attributes);
    state->signalled = false;
}

Event::~Event() {
    EventState* state = asEvent(storage);
    pthread_cond_destroy(&state->condition);
    pthread_mutex_destroy(&state->mutex);
}

void Event::Set() {
    EventState* state = asEvent(storage);
    pthread_mutex_lock(&state->mutex);
    state->signalled = true;
    pthread_cond_signal(&state->condition);
    pthread_mutex_unlock(&state->mutex);
}

void Event::Reset() {
    EventState* state = asEvent(storage);
    pthread_mutex_lock(&state->mutex);
    state->signalled = false;
    pthread_mutex_unlock(&state->mutex);
}

bool Event::Wait(uint32_t timeoutMs) {
    EventState* state = asEvent(storage);
    const timespec deadline = deadlineAfter(timeoutMs);
    pthread_mutex_lock(&state->mutex);
    while (!state->signalled) {
        if (timeoutMs == WaitForever) {
            pthread_cond_wait(&state->condition, &state->mutex);
        } else if (pthread_cond_timedwait(&state->condition, &state->mutex, &deadline) ==
                   ETIMEDOUT) {
            break;
        }
    }
    const bool signalled = state->signalled;
    state->signalled = false; // auto-reset
    pthread_mutex_unlock(&state->mutex);
    return signalled;
}

Mutex::Mutex() {
    pthread_mutex_init(new (storage) pthread_mutex_t, nullptr);
}
Mutex::~Mutex() {
    pthread_mutex_destroy(asMutex(storage));
}
void Mutex::Lock() {
    pthread_mutex_lock(asMutex(storage));
}
void Mutex::Unlock() {
    pthread_mutex_unlock(asMutex(storage));
}

} // namespace Platform
