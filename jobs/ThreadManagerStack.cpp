// SPDX-License-Identifier: Apache-2.0
// The thread-manager stack. The array exists only while it holds an entry, so a process
// that never pushes a manager never allocates it.
#include "jobs/ThreadManagerStack.h"

#include "support/iArray.h"

#include <mutex>
#include <new>

namespace XUtils {
namespace {

using ManagerStack = iArray<ThreadManager*>;

// Guards stack and the array behind it. A leaf lock: nothing else is taken while it is
// held, except the log's when an allocation fails.
std::mutex stackMutex;
ManagerStack* stack = nullptr;

void releaseStackIfEmpty() {
    if (stack != nullptr && stack->Count() == 0) {
        delete stack;
        stack = nullptr;
    }
}

} // namespace

bool pushThreadManager(ThreadManager* manager) {
    const std::lock_guard<std::mutex> lock(stackMutex);
    ManagerStack* const grown = new (std::nothrow) ManagerStack;
    if (grown == nullptr) {
        return false;
    }
    // The entries move to a fresh array so that a failed growth keeps the old stack intact.
    const int32_t depth = stack != nullptr ? stack->Count() : 0;
    if (!grown->SetSize(depth + 1, nullptr, true)) {
        delete grown;
        return false;
    }
    for (int32_t i = 0; i < depth; ++i) {
        (*grown)[i] = (*stack)[i];
    }
    (*grown)[depth] = manager;
    delete stack;
    stack = grown;
    return true;
}

void popThreadManager() {
    const std::lock_guard<std::mutex> lock(stackMutex);
    if (stack != nullptr) {
        stack->SetSize(stack->Count() - 1);
        releaseStackIfEmpty();
    }
}

ThreadManager* currentThreadManager() {
    const std::lock_guard<std::mutex> lock(stackMutex);
    return stack != nullptr ? (*stack)[stack->Count() - 1] : nullptr;
}

bool isThreadManagerPushed(const ThreadManager* manager) {
    const std::lock_guard<std::mutex> lock(stackMutex);
    for (int32_t i = 0; stack != nullptr && i < stack->Count(); ++i) {
        if ((*stack)[i] == manager) {
            return true;
        }
    }
    return false;
}

void removeThreadManager(const ThreadManager* manager) {
    const std::lock_guard<std::mutex> lock(stackMutex);
    for (int32_t i = stack != nullptr ? stack->Count() - 1 : -1; i >= 0; --i) {
        if ((*stack)[i] == manager) {
            stack->Remove(i, 1, true, true);
        }
    }
    releaseStackIfEmpty();
}

} // namespace XUtils
