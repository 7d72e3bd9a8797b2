// SPDX-License-Identifier: Apache-2.0
// The library's two message sinks. Neither fails nor stops its caller: failures travel
// as result codes, these only explain them.
#pragma once

#if defined(__GNUC__)
#define KOR_PRINTF_FORMAT(formatIndex, firstArg)                                                   \
    __attribute__((format(printf, formatIndex, firstArg)))
#else
#define KOR_PRINTF_FORMAT(formatIndex, firstArg)
#endif

// Appends the message to the log file when one is set. A format that begins with '#' also
// goes, '#' included, to the debugger output; the file gets it without the '#'.
void logMessage(const char* format, ...) KOR_PRINTF_FORMAT(1, 2);

// Debugger output only, cut at 4095 characters, unserialised.
void debugPrint(const char* format, ...) KOR_PRINTF_FORMAT(1, 2);

// Sets the log file; null or empty turns the log off. With truncate the file is emptied
// now. False (and the previous setting kept) for an over-long path or a file that cannot
// be created.
bool setLogFilePath(const char* path, bool truncate);
