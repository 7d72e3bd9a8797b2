// SPDX-License-Identifier: Apache-2.0
#include "foreign/PluginModules.h"
#include "korloader/IKor.h"
#include "korloader/KorMappings.h"
#include "platform/Platform.h"
#include "tests/foreign/FakePlugins.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using kortest::fakePluginDirectory;
using kortest::PluginTest;

// The platform's module file extension (".so", ".dll").
const std::string extension = Platform::moduleExtension();

std::string composed(const char* directories, const char* suffix) {
    char path[ModulePathBytes];
    if (!composeModulePath(path, directories, suffix, "f3dbridge")) {
        return "(none)";
    }
    return path;
}

// Runs the test body with the working directory set to dir, for relative entries.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous); }

private:
    std::filesystem::path previous;
};

TEST_F(PluginTest, ComposesModuleFileNamesFromTheDirectoryList) {
    std::filesystem::create_directories(directory.File("a"));
    std::filesystem::create_directories(directory.File("b"));
    directory.Write("b/f3dbridge_s" + extension, "");
    const std::string a = directory.File("a");
    const std::string b = directory.File("b");
    // Two semicolons: the empty entry is skipped; "/" is added only where missing.
    EXPECT_EQ(composed((a + ";;" + b + "/").c_str(), "s"), b + "/f3dbridge_s" + extension);
    EXPECT_EQ(composed((a + ";;" + b).c_str(), "s"), b + "/f3dbridge_s" + extension);
    // A trailing backslash is a separator too: nothing is added after it. (On POSIX the
    // file's name holds the backslash; on Windows it lies in c.)
    std::filesystem::create_directories(directory.File("c"));
    directory.Write("c\\f3dbridge_s" + extension, "");
    EXPECT_EQ(composed((directory.File("c") + "\\").c_str(), "s"),
              directory.File("c\\f3dbridge_s" + extension));
    // No suffix: the bare name for the system's search, whatever the directories.
    EXPECT_EQ(composed(b.c_str(), nullptr), "f3dbridge" + extension);
    EXPECT_EQ(composed(nullptr, nullptr), "f3dbridge" + extension);
    EXPECT_EQ(composed(nullptr, "s"), "f3dbridge_s" + extension);
    EXPECT_EQ(composed("", "s"), "(none)");
    EXPECT_EQ(composed(";;", "s"), "(none)");
    EXPECT_EQ(composed(a.c_str(), "s"), "(none)");
    EXPECT_EQ(composed(b.c_str(), "other"), "(none)");
}

TEST_F(PluginTest, TriesOneCharacterEntriesLikeAnyOther) {
    std::filesystem::create_directories(directory.File("b"));
    directory.Write("b/f3dbridge_s" + extension, "");
    const WorkingDirectory inTemp(directory.Path());
    EXPECT_EQ(composed("zz;b;q", "s"), "b/f3dbridge_s" + extension);
    EXPECT_EQ(composed("zz;b", "s"), "b/f3dbridge_s" + extension);
    EXPECT_EQ(composed("b", "s"), "b/f3dbridge_s" + extension);
}

TEST_F(PluginTest, NeverTriesAPathTheBufferCut) {
    // Directories deep enough that the cut path ends five characters into the file name,
    // and a file of that cut name: it must not be taken for the module.
    const size_t deepLength = ModulePathBytes - 1 - 6;
    std::string deep = directory.Path();
    while (deepLength - deep.size() > 201) {
        deep += "/" + std::string(200, 'd');
    }
    ASSERT_GE(deepLength - deep.size(), 2u);
    deep += "/" + std::string(deepLength - deep.size() - 1, 'd');
    std::filesystem::create_directories(deep);
    directory.Write(deep.substr(directory.Path().size() + 1) + "/f3dbr", "");
    EXPECT_EQ(composed(deep.c_str(), "s"), "(none)");
    EXPECT_EQ(composed(nullptr, std::string(1100, 's').c_str()), "(none)");
}

TEST_F(PluginTest, LoadsBothModulesFromTheListAndReportsTheirBits) {
    const std::string list = directory.Path() + ";;" + fakePluginDirectory("good") + "/";
    EXPECT_EQ(initalizeKoraLoader(list.c_str(), "test", 7), 3);
    EXPECT_EQ(axisMode(), 7);
    EXPECT_TRUE(f3dPluginReady());
    EXPECT_TRUE(vdbPluginReady());
    EXPECT_EQ(kortest::loadedF3dVariant(), "good");
    EXPECT_EQ(kortest::loadedVdbVariant(), "good");
    EXPECT_NE(vdbPlugin().exportFrame, nullptr);
    EXPECT_EQ(f3dPlugin().importFrameVDB, nullptr);
    EXPECT_EQ(vdbPlugin().importFrameF3D, nullptr);
}

TEST_F(PluginTest, WithoutASuffixLoadsBareNamesThroughTheSystemSearch) {
    // The test binary's run path holds bare/; the good directory is ignored.
    EXPECT_EQ(initalizeKoraLoader(fakePluginDirectory("good").c_str(), nullptr, 0), 3);
    EXPECT_EQ(kortest::loadedF3dVariant(), "bare");
    EXPECT_EQ(kortest::loadedVdbVariant(), "bare");
}

TEST_F(PluginTest, AcceptsAModuleWithoutExportFrame) {
    EXPECT_EQ(initalizeKoraLoader(fakePluginDirectory("noexport").c_str(), "test", 0), 2);
    EXPECT_TRUE(vdbPluginReady());
    EXPECT_EQ(vdbPlugin().exportFrame, nullptr);
    EXPECT_EQ(f3dPlugin().handle, nullptr);
}

TEST_F(PluginTest, RejectsModulesWithoutSetThreadManagerOrWithFailingInitialize) {
    for (const char* variant : {"nosetthread", "initfails"}) {
        SCOPED_TRACE(variant);
        releasePluginModules();
        EXPECT_EQ(initalizeKoraLoader(fakePluginDirectory(variant).c_str(), "test", 0), 0);
        // Rejected modules stay loaded with every entry point cleared.
        for (const PluginModule& module : {f3dPlugin(), vdbPlugin()}) {
            EXPECT_NE(module.handle, nullptr);
            EXPECT_EQ(module.initialize, nullptr);
            EXPECT_EQ(module.releaseThreadManager, nullptr);
            EXPECT_EQ(module.getAvailableChannels, nullptr);
            EXPECT_EQ(module.exportFrame, nullptr);
        }
        EXPECT_FALSE(f3dPluginReady());
        EXPECT_FALSE(vdbPluginReady());
    }
}

TEST_F(PluginTest, ASecondCallLoadsNothingAgainAndReportsOnlyReadyModules) {
    loadGoodPlugins(1);
    void* const f3dHandle = f3dPlugin().handle;
    EXPECT_EQ(initalizeKoraLoader(fakePluginDirectory("initfails").c_str(), "test", 2), 3);
    EXPECT_EQ(axisMode(), 2);
    EXPECT_EQ(f3dPlugin().handle, f3dHandle);
    EXPECT_EQ(kortest::loadedF3dVariant(), "good");

    // A module an earlier call rejected stays rejected and its bit stays missing.
    releasePluginModules();
    EXPECT_EQ(initalizeKoraLoader(fakePluginDirectory("initfails").c_str(), "test", 0), 0);
    EXPECT_EQ(initalizeKoraLoader(fakePluginDirectory("good").c_str(), "test", 0), 0);
    EXPECT_EQ(kortest::loadedF3dVariant(), "initfails");
}

TEST_F(PluginTest, ReportsNothingWhenNoModuleCanBeLoaded) {
    EXPECT_EQ(initalizeKoraLoader(directory.Path().c_str(), "test", 5), 0);
    EXPECT_EQ(axisMode(), 5);
    EXPECT_EQ(initalizeKoraLoader(nullptr, "nosuchsuffix", 0), 0);
    EXPECT_EQ(initalizeKoraLoader(std::string(60000, ';').c_str(), "test", 0), 0);
    EXPECT_EQ(f3dPlugin().handle, nullptr);
    EXPECT_EQ(vdbPlugin().handle, nullptr);
}

TEST_F(PluginTest, AModuleThatFailsToLoadEndsTheSearchForIt) {
    // The broken file is found first; the good directory is not tried for Field3D.
    directory.Write("f3dbridge_test" + extension, "not a module");
    const std::string list = directory.Path() + ";" + fakePluginDirectory("good");
    EXPECT_EQ(initalizeKoraLoader(list.c_str(), "test", 0), 2);
    EXPECT_EQ(f3dPlugin().handle, nullptr);
}

TEST_F(PluginTest, FramesOpenWhileOtherThreadsLoadThePlugins) {
    const std::string path = directory.Write("x.vdb", "channel density\n");
    const std::string good = fakePluginDirectory("good");
    // Held open here, so that its counter is read from the instance the library loads.
    void* const module =
        Platform::loadModule((good + "/vdbbridge_test" + Platform::moduleExtension()).c_str());
    ASSERT_NE(module, nullptr);
    using CountFunction = int();
    auto* const initializeCalls =
        reinterpret_cast<CountFunction*>(Platform::findModuleSymbol(module, "FakeInitializeCalls"));
    const int callsBefore = initializeCalls();
    std::atomic<bool> loaded{false};
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (bool ready = false; !ready;) {
                // Once initalizeKoraLoader has answered, the plug-in must serve every open.
                ready = loaded.load();
                IKor* frame = newIKor(path.c_str());
                refused += ready && frame == nullptr;
                deleteIKor(frame);
            }
        });
    }
    std::thread second([&] { EXPECT_EQ(initalizeKoraLoader(good.c_str(), "test", 0), 3); });
    EXPECT_EQ(initalizeKoraLoader(good.c_str(), "test", 0), 3);
    second.join();
    loaded = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(initializeCalls() - callsBefore, 1) << "concurrent calls initialise a module once";
    releasePluginModules();
    Platform::freeModule(module);
}

} // namespace
