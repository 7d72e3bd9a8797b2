// SPDX-License-Identifier: Apache-2.0
// Captures what the library sends to the debugger output and to the log file, so tests
// can compare the exact bytes.
#pragma once

#include <mutex>
#include <string>

namespace kortest {

// Collects debugger output for its lifetime.
class CapturedDebugOutput {
public:
    CapturedDebugOutput();
    ~CapturedDebugOutput();
    CapturedDebugOutput(const CapturedDebugOutput&) = delete;
    CapturedDebugOutput& operator=(const CapturedDebugOutput&) = delete;

    std::string Text() const;
    void Clear();

private:
    static void Receive(const char* text, void* context);
    mutable std::mutex mutex;
    std::string text;
};

// Points the log file at a fresh temporary file for its lifetime.
class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::string Text() const;

private:
    std::string path;
};

} // namespace kortest
