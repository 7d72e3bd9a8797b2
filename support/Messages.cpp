// SPDX-License-Identifier: Apache-2.0
// The log file is opened and closed for every message so that lines reach the disk in
// order even when the host dies right after; one mutex serialises all threads.
#include "support/Messages.h"

#include "platform/Platform.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t LogPathBytes = 4096;
char logPath[LogPathBytes];

// Created on first use without a race (a function-local static) and never destroyed, so
// messages logged while the library unloads still find it.
Platform::Mutex& logMutex() {
    static Platform::Mutex* const mutex = new Platform::Mutex;
    return *mutex;
}

// Set in plug-in modules only: where their messages go instead.
std::atomic<LogTextSink*> forwardedTo{nullptr};

class LogLock {
public:
    LogLock() { logMutex().Lock(); }
    ~LogLock() { logMutex().Unlock(); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;
};

} // namespace

void logMessage(const char* format, ...) {
    if (format == nullptr) {
        return;
    }
    char shortText[1024];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(shortText, sizeof shortText, format, arguments);
    va_end(arguments);
    // Longer messages get a buffer of their own; without one they are cut.
    char* longText = nullptr;
    if (length >= static_cast<int>(sizeof shortText)) {
        longText = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
        if (longText != nullptr) {
            std::vsnprintf(longText, static_cast<size_t>(length) + 1, format, again);
        }
    }
    va_end(again);
    const char* const text = longText != nullptr ? longText : shortText;
    LogTextSink* const sink = forwardedTo.load();
    if (sink != nullptr) {
        sink(text);
    } else {
        logText(text);
    }
    std::free(longText);
}

void logText(const char* text) {
    if (text == nullptr) {
        return;
    }
    LogLock lock;
    FILE* file = logPath[0] != '\0' ? Platform::openFile(logPath, "at") : nullptr;
    const bool hashed = text[0] == '#';
    if (hashed) {
        char buffer[1024];
        std::snprintf(buffer, sizeof buffer, "%s", text);
        Platform::debugOutput(buffer);
    }
    if (file != nullptr) {
        std::fputs(hashed ? text + 1 : text, file);
        std::fclose(file);
    }
}

void forwardLogMessages(LogTextSink* sink) {
    forwardedTo.store(sink);
}

void debugPrint(const char* format, ...) {
    if (format == nullptr) {
        return;
    }
    char buffer[4096] = {};
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    buffer[sizeof buffer - 1] = '\0';
    Platform::debugOutput(buffer);
}

bool setLogFilePath(const char* path, bool truncate) {
    const size_t pathBytes = path != nullptr ? std::strlen(path) : 0;
    if (pathBytes >= LogPathBytes) {
        return false;
    }
    LogLock lock;
    if (pathBytes > 0 && truncate) {
        FILE* file = Platform::openFile(path, "wt");
        if (file == nullptr) {
            return false;
        }
        std::fclose(file);
    }
    if (pathBytes > 0) {
        std::memcpy(logPath, path, pathBytes);
    }
    logPath[pathBytes] = '\0';
    return true;
}
