// SPDX-License-Identifier: Apache-2.0
#include "tests/common/CapturedOutput.h"

#include "platform/Platform.h"
#include "support/Messages.h"
#include "tests/common/TempDirectory.h"

#include <fstream>
#include <sstream>

namespace kortest {

CapturedDebugOutput::CapturedDebugOutput() {
    Platform::setDebugOutputHook(&Receive, this);
}
CapturedDebugOutput::~CapturedDebugOutput() {
    Platform::setDebugOutputHook(nullptr, nullptr);
}

void CapturedDebugOutput::Receive(const char* text, void* context) {
    auto* self = static_cast<CapturedDebugOutput*>(context);
    std::lock_guard<std::mutex> lock(self->mutex);
    self->text += text;
}

std::string CapturedDebugOutput::Text() const {
    std::lock_guard<std::mutex> lock(mutex);
    return text;
}

void CapturedDebugOutput::Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    text.clear();
}

CapturedLog::CapturedLog() : path(uniqueTempPath("log.txt")) {
    setLogFilePath(path.c_str(), true);
}
CapturedLog::~CapturedLog() {
    setLogFilePath(nullptr, false);
    std::remove(path.c_str());
}

// Text mode, as the log is written: Windows ends its lines with "\r\n" on disk.
std::string CapturedLog::Text() const {
    std::ifstream in(path);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

} // namespace kortest
