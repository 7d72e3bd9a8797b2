// SPDX-License-Identifier: Apache-2.0
// Loading, configuring and unloading the library through its public header only.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <korloader/IKor.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string tempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("korloader-api-" + std::to_string(getpid()) + "-" + name))
        .string();
}

TEST(Library, ReportsItsVersion) {
    EXPECT_EQ(FluxaSimSDKGetVersionNumber(), 0x30400u);
}

TEST(Library, ThreadCountIsTheHostsChoice) {
    EXPECT_EQ(korSetThreadCount(2), 2);
    EXPECT_EQ(korSetThreadCount(3), 3);
    EXPECT_EQ(korSetThreadCount(-1), 3) << "refused";
    EXPECT_EQ(korSetThreadCount(0), 0);
    EXPECT_EQ(korSetThreadCount(0), 0);
}

TEST(Library, LogFileCanBeSetTruncatedAndTurnedOff) {
    const std::string log = tempPath("log.txt");
    {
        std::ofstream old(log);
        old << "old\n";
    }
    EXPECT_EQ(korSetLogFile(log.c_str(), 1), 1);
    EXPECT_EQ(readFile(log), "");
    EXPECT_EQ(korSetLogFile(nullptr, 0), 1);
    EXPECT_EQ(korSetLogFile(std::string(4096, 'x').c_str(), 0), 0);
    EXPECT_EQ(korSetLogFile("/no/such/directory/log.txt", 1), 0);
    std::remove(log.c_str());
}

} // namespace
