// SPDX-License-Identifier: Apache-2.0
// The log file is opened and closed for every message so that lines reach the disk in
// order even when the host dies right after; one mutex serialises all threads.
#include "support/Messages.h"

#include "platform/Platform.h"

#include <cstdarg>
#include <cstdio>
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
    LogLock lock;
    FILE* file = logPath[0] != '\0' ? Platform::openFile(logPath, "at") : nullptr;
    const bool hashed = format[0] == '#';
    if (hashed) {
        char buffer[1024];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(buffer, sizeof buffer, format, arguments);
        va_end(arguments);
        Platform::debugOutput(buffer);
    }
    if (file != nullptr) {
        va_list arguments;
        va_start(arguments, format);
        std::vfprintf(file, hashed ? format + 1 : format, arguments);
        va_end(arguments);
        std::fclose(file);
    }
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
