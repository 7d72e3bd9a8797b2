// SPDX-License-Identifier: Apache-2.0
#include "tests/win32/DebuggerOutputReader.h"

#include <chrono>
#include <cstring>
#include <windows.h>

namespace kortest {
namespace {

// The buffer: the writer's process id, then the zero-terminated string.
constexpr DWORD BufferBytes = 4096;
constexpr char Marker[] = "\x01korloader-test-marker\n";

} // namespace

DebuggerOutputReader::DebuggerOutputReader() {
    bufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BufferBytes,
                                 L"DBWIN_BUFFER");
    if (mapping != nullptr) {
        view = static_cast<const unsigned char*>(
            MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, BufferBytes));
    }
    if (bufferReady != nullptr && dataReady != nullptr && view != nullptr) {
        reader = std::thread([this] { Read(); });
    }
}

DebuggerOutputReader::~DebuggerOutputReader() {
    stop = true;
    if (reader.joinable()) {
        reader.join();
    }
    if (view != nullptr) {
        UnmapViewOfFile(view);
    }
    for (void* handle : {mapping, dataReady, bufferReady}) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
}

void DebuggerOutputReader::Read() {
    const DWORD self = GetCurrentProcessId();
    while (!stop) {
        SetEvent(bufferReady);
        if (WaitForSingleObject(dataReady, 20) != WAIT_OBJECT_0) {
            continue;
        }
        DWORD writer = 0;
        std::memcpy(&writer, view, sizeof writer);
        const char* const string = reinterpret_cast<const char*>(view + sizeof writer);
        const size_t length = strnlen(string, BufferBytes - sizeof writer);
        if (writer == self) {
            std::lock_guard<std::mutex> lock(mutex);
            text.append(string, length);
        }
    }
}

std::string DebuggerOutputReader::Take() {
    if (!reader.joinable()) {
        return "(no DBWIN reader)";
    }
    OutputDebugStringA(Marker);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            const size_t at = text.find(Marker);
            if (at != std::string::npos) {
                std::string taken = text.substr(0, at);
                text.erase(0, at + sizeof Marker - 1);
                return taken;
            }
        }
        Sleep(1);
    }
    return "(marker never arrived)";
}

} // namespace kortest
