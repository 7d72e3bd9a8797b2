// SPDX-License-Identifier: Apache-2.0
// Reads this process's debugger output as a debug viewer does, through the DBWIN buffer:
// OutputDebugStringA, with no debugger attached, hands each string to whoever holds the
// DBWIN_BUFFER mapping and its two events. Only one reader may exist on a machine at a
// time, so tests that use it run serially.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace kortest {

class DebuggerOutputReader {
public:
    DebuggerOutputReader();
    ~DebuggerOutputReader();
    DebuggerOutputReader(const DebuggerOutputReader&) = delete;
    DebuggerOutputReader& operator=(const DebuggerOutputReader&) = delete;

    // Everything this process sent since construction or the last call. Strings arrive
    // on the reader's thread, so a marker is sent and awaited first.
    std::string Take();

private:
    void Read();

    void* bufferReady = nullptr;
    void* dataReady = nullptr;
    void* mapping = nullptr;
    const unsigned char* view = nullptr;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::string text;
    std::thread reader;
};

} // namespace kortest
