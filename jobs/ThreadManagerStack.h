// SPDX-License-Identifier: Apache-2.0
// The process-wide stack of thread managers that job sets take their manager from. The
// stack lives on the heap only while it holds an entry. It is not synchronised: change it
// only while no job set is being initialised.
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
