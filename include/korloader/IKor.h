// SPDX-License-Identifier: Apache-2.0
// korloader's chief public header: what a host calls to read simulation frame caches.
#pragma once

#include "korloader/KorApi.h"

/// Version of the library as 0x00MMmmpp (major, minor, patch): 0x30400 for 3.4.0.
KOR_API unsigned int FluxaSimSDKGetVersionNumber();

/// Sends the library's diagnostic log to the file at `path` (UTF-8), appending one line
/// per message; a null or empty path turns the log off (the default). With `truncate`
/// non-zero the file is emptied first. Returns 1 when the setting took effect, 0 when the
/// path is too long (4095 bytes at most) or the file cannot be created; the previous
/// setting then stays.
KOR_API int korSetLogFile(const char* path, int truncate);
