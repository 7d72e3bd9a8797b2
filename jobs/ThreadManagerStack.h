// SPDX-License-Identifier: Apache-2.0
// The process-wide stack of thread managers that job sets take their manager from. The
// stack lives on the heap only while it holds an entry. Every operation is atomic with
// respect to the others, from any thread. A job set keeps the manager it took even after
// that manager leaves the stack, so a manager must outlive every set started on it.
#pragma once

#include "jobs/ThreadManager.h"

namespace XUtils {

// False when the stack cannot grow; the stack is then left as it was before the call.
bool pushThreadManager(ThreadManager* manager);
// Removes the top entry; nothing happens on an empty stack.
void popThreadManager();
// The top entry, or null while the stack is empty.
ThreadManager* currentThreadManager();

bool isThreadManagerPushed(const ThreadManager* manager);
// Removes every entry for manager, wherever it sits in the stack.
void removeThreadManager(const ThreadManager* manager);

} // namespace XUtils
