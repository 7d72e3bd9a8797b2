// SPDX-License-Identifier: Apache-2.0
#include "platform/Platform.h"
#include "tests/common/TempDirectory.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Platform, EventIsAutoResetAndTimesOut) {
    Platform::Event event;
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(5));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0)) << "one wait consumes the signal";
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(1));
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        event.Set();
    });
    EXPECT_TRUE(event.Wait(Platform::WaitForever));
    setter.join();
}

TEST(Platform, CriticalSectionIsRecursiveAndExclusive) {
    Platform::CriticalSection section;
    section.Enter();
    section.Enter();
    section.Leave();
    section.Leave();
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                Platform::CriticalSectionGuard guard(section);
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 4000);
}

TEST(Platform, DirectorySearchMatchesWildcards) {
    kortest::TempDirectory directory;
    for (const char* name : {"smoke.0001.vdb", "smoke.0002.vdb", "smoke.10.vdb", "fire.vdb"}) {
        directory.Write(name, "x");
    }
    auto find = [&](const std::string& pattern) {
        std::vector<std::string> names;
        Platform::DirectorySearch search;
        for (bool more = search.First((directory.Path() + "/" + pattern).c_str()); more;
             more = search.Next()) {
            names.emplace_back(search.Name());
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(find("smoke.????.vdb"),
              (std::vector<std::string>{"smoke.0001.vdb", "smoke.0002.vdb"}));
    EXPECT_EQ(find("*.*.vdb").size(), 3u);
    EXPECT_EQ(find("fire.vdb"), std::vector<std::string>{"fire.vdb"});
    EXPECT_TRUE(find("*.f3d").empty());
    EXPECT_TRUE(find("**************************************************x").empty());
    Platform::DirectorySearch missing;
    EXPECT_FALSE(missing.First("/no/such/directory/*"));
    EXPECT_FALSE(missing.First(""));
}

TEST(Platform, ModulesLoadResolveAndFail) {
    void* module = Platform::loadModule(KOR_TEST_MODULE_PATH);
    ASSERT_NE(module, nullptr) << Platform::lastModuleError();
    using Answer = int (*)();
    auto answer =
        reinterpret_cast<Answer>(Platform::findModuleSymbol(module, "korTestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(Platform::findModuleSymbol(module, "absent"), nullptr);
    Platform::freeModule(module);
    EXPECT_EQ(Platform::loadModule("/no/such/module.so"), nullptr);
    EXPECT_STRNE(Platform::lastModuleError(), "");
    EXPECT_STREQ(Platform::moduleExtension(), KOR_MODULE_EXTENSION);
}

TEST(Platform, FilesSeekBeyondFourGigabytesAndExist) {
    kortest::TempDirectory directory;
    const std::string path = directory.Write("f.bin", "0123456789");
    EXPECT_TRUE(Platform::fileExists(path.c_str()));
    EXPECT_FALSE(Platform::fileExists(directory.File("g.bin").c_str()));
    FILE* file = Platform::openFile(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(Platform::seekFile(file, -3, SEEK_END));
    EXPECT_EQ(Platform::tellFile(file), 7);
    ASSERT_TRUE(Platform::seekFile(file, int64_t(5) << 30, SEEK_SET));
    EXPECT_EQ(Platform::tellFile(file), int64_t(5) << 30);
    std::fclose(file);
    EXPECT_TRUE(Platform::createDirectory(directory.File("sub").c_str()));
    EXPECT_TRUE(Platform::createDirectory(directory.File("sub").c_str())) << "existing is fine";
}

TEST(Platform, ProcessorCounts) {
    EXPECT_GE(Platform::processorCount(), 1);
    EXPECT_GE(Platform::numaProcessorCount(), 0);
}

TEST(Platform, DebugOutputHookCapturesText) {
    std::string captured;
    const auto hook = [](const char* text, void* context) {
        *static_cast<std::string*>(context) += text;
    };
    Platform::setDebugOutputHook(hook, &captured);
    Platform::debugOutput("a");
    Platform::debugOutput(nullptr);
    Platform::debugOutput("b\n");
    Platform::setDebugOutputHook(nullptr, nullptr);
    Platform::debugOutput("not captured");
    EXPECT_EQ(captured, "ab\n");
}

} // namespace
