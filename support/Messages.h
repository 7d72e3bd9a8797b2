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

// Logs a finished text as logMessage logs its formatted message: the '#' rule applies and
// nothing in the text is a conversion.
void logText(const char* text);

// Receives each finished message, '#' included, in place of this copy's own log.
using LogTextSink = void(const char* text);
// From now on logMessage hands its messages to sink (null: logs them here again). A
// plug-in module links its own copy of this code, whose log is never set; it forwards to
// the library's logText this way.
void forwardLogMessages(LogTextSink* sink);

// Debugger output only, cut at 4095 characters, unserialised.
void debugPrint(const char* format, ...) KOR_PRINTF_FORMAT(1, 2);

// Sets the log file; null or empty turns the log off. With truncate the file is emptied
// now. False (and the previous setting kept) for an over-long path or a file that cannot
// be created.
bool setLogFilePath(const char* path, bool truncate);
