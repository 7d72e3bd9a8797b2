// SPDX-License-Identifier: Apache-2.0
// The test hook in front of the debugger output, shared by both platform folders: each
// one's debugOutput offers the text here first and sends it on only when no hook took it.
#pragma once

namespace Platform {

// True when an installed hook received the text.
bool deliverToDebugOutputHook(const char* text);

} // namespace Platform
