// SPDX-License-Identifier: Apache-2.0
#include "support/Messages.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Messages, WithoutALogOnlyHashedMessagesReachTheDebugger) {
    kortest::CapturedDebugOutput debug;
    logMessage("plain %d\n", 1);
    logMessage("#job of %s did not exit properly\n", "MT PRTIN");
    logMessage(nullptr);
    EXPECT_EQ(debug.Text(), "#job of MT PRTIN did not exit properly\n");
}

TEST(Messages, TheLogGetsHashedMessagesWithoutTheHash) {
    kortest::CapturedDebugOutput debug;
    kortest::CapturedLog log;
    logMessage("#bad particles found in group %s, count:%d\n", "sparks", 3);
    logMessage("Fluxa cache file not released %d ref:%d\n", 2, 1);
    EXPECT_EQ(log.Text(), "bad particles found in group sparks, count:3\n"
                          "Fluxa cache file not released 2 ref:1\n");
    EXPECT_EQ(debug.Text(), "#bad particles found in group sparks, count:3\n");
}

TEST(Messages, DebuggerCopiesAreCut) {
    kortest::CapturedDebugOutput debug;
    const std::string longText(5000, 'x');
    debugPrint("%s", longText.c_str());
    EXPECT_EQ(debug.Text(), longText.substr(0, 4095));
    debug.Clear();
    logMessage("#%s", longText.c_str());
    EXPECT_EQ(debug.Text(), "#" + longText.substr(0, 1022));
}

std::vector<std::string> forwarded;

void collectForwarded(const char* text) {
    forwarded.emplace_back(text);
}

// A plug-in's copy of the log hands whole messages on; the receiving log applies the '#'
// rule to each.
TEST(Messages, ForwardedMessagesArriveWholeAndAreLoggedByTheReceiver) {
    kortest::CapturedDebugOutput debug;
    kortest::CapturedLog log;
    const std::string longText(3000, 'y');
    forwardLogMessages(&collectForwarded);
    logMessage("#refused %s %d%%\n", "file.f3d", 7);
    logMessage("%s\n", longText.c_str());
    forwardLogMessages(nullptr);
    const std::vector<std::string> expected = {"#refused file.f3d 7%\n", longText + "\n"};
    EXPECT_EQ(forwarded, expected);
    EXPECT_EQ(log.Text(), "");
    for (const std::string& text : forwarded) {
        logText(text.c_str());
    }
    logText(nullptr);
    EXPECT_EQ(log.Text(), "refused file.f3d 7%\n" + longText + "\n");
    EXPECT_EQ(debug.Text(), "#refused file.f3d 7%\n");
}

TEST(Messages, LogPathSettings) {
    kortest::TempDirectory directory;
    const std::string path = directory.Write("log.txt", "old\n");
    ASSERT_TRUE(setLogFilePath(path.c_str(), false));
    logMessage("new\n");
    ASSERT_TRUE(setLogFilePath(path.c_str(), true));
    logMessage("fresh\n");
    ASSERT_TRUE(setLogFilePath(nullptr, false));
    logMessage("dropped\n");
    EXPECT_FALSE(setLogFilePath(std::string(5000, 'p').c_str(), false));
    EXPECT_FALSE(setLogFilePath(directory.File("missing/dir/log.txt").c_str(), true));
    std::FILE* file = std::fopen(path.c_str(), "r");
    char text[64] = {};
    std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    EXPECT_STREQ(text, "fresh\n");
}

TEST(Messages, ConcurrentLinesNeverInterleave) {
    kortest::CapturedLog log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) {
                logMessage("thread %d line %d %s\n", t, i, "abcdefghijklmnopqrstuvwxyz");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::string text = log.Text();
    size_t lines = 0;
    for (size_t begin = 0; begin < text.size();) {
        const size_t end = text.find('\n', begin);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(begin, end - begin);
        EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
        EXPECT_EQ(line.substr(line.size() - 26), "abcdefghijklmnopqrstuvwxyz") << line;
        ++lines;
        begin = end + 1;
    }
    EXPECT_EQ(lines, 200u);
}

} // namespace
