// SPDX-License-Identifier: Apache-2.0
// POSIX has no debugger channel: where its stand-in sends text.
#include "platform/Platform.h"
#include "tests/common/TempDirectory.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The destination is read once per process, so each case runs in a child.
std::string debugOutputInChild(const char* setting, const std::string& file) {
    const pid_t child = fork();
    if (child == 0) {
        if (setting != nullptr) {
            setenv("KORLOADER_DEBUG_OUTPUT", setting, 1);
        } else {
            unsetenv("KORLOADER_DEBUG_OUTPUT");
        }
        Platform::debugOutput("[WinThreadManager] Constructor.\n");
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Platform, DebugOutputGoesWhereTheEnvironmentSays) {
    kortest::TempDirectory directory;
    const std::string file = directory.File("debug.txt");
    EXPECT_EQ(debugOutputInChild(nullptr, file), "");
    EXPECT_EQ(debugOutputInChild(file.c_str(), file), "[WinThreadManager] Constructor.\n");
}

} // namespace
