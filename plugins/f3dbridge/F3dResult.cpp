// SPDX-License-Identifier: Apache-2.0
// The refusal path: one log line with the reason, then the exception that carries the code.
#include "plugins/f3dbridge/F3dResult.h"

#include "support/Messages.h"

#include <cstdarg>
#include <cstdio>

void refuseF3d(F3dResult result, const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    logMessage("%s", text);
    throw F3dRefusalException(result);
}
