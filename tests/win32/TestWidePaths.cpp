// SPDX-License-Identifier: Apache-2.0
// UTF-8 paths on Windows: the library's names must be the names Windows shows, outside
// the Basic Multilingual Plane too, and names that are not UTF-8 at all must come back
// from a directory listing byte for byte.
#include "cachefile/KorReader.h"
#include "cachefile/KorWriter.h"
#include "foreign/PluginModules.h"
#include "korloader/KorMappings.h"
#include "platform/Platform.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/common/TempDirectory.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

// "café_水_🔥.kor": two, three and four UTF-8 bytes per character, the last a surrogate
// pair in UTF-16.
const std::string utf8Name = "caf\xC3\xA9_\xE6\xB0\xB4_\xF0\x9F\x94\xA5.kor";
const std::wstring wideName = L"caf\u00E9_\u6C34_\U0001F525.kor";

std::wstring wideDirectory(const kortest::TempDirectory& directory) {
    return std::filesystem::path(directory.Path()).wstring();
}

// Names in the directory as FindFirstFileW reports them.
std::vector<std::wstring> windowsNames(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Names in the directory as the library's search reports them.
std::vector<std::string> libraryNames(const std::string& pattern) {
    std::vector<std::string> names;
    Platform::DirectorySearch search;
    for (bool more = search.First(pattern.c_str()); more; more = search.Next()) {
        names.emplace_back(search.Name());
    }
    return names;
}

void writeThrough(const std::string& path, const char* text) {
    FILE* file = Platform::openFile(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fputs(text, file);
    std::fclose(file);
}

// A 2x1x1 frame whose smoke is 0.5.
std::string smokeFrame() {
    using namespace kortest;
    KorBytes records;
    records.i32(1).u32(1u << 2);
    records.raw(gridTag(2, 1, 1, gridRecord(2, constantStream(2, 0.5f))));
    return korFile(korHeader(records.bytes()), "");
}

TEST(WidePaths, NamesOutsideTheBasicPlaneAreWhatWindowsShows) {
    kortest::TempDirectory directory;
    const std::string path = directory.File(utf8Name);
    writeThrough(path, "kor");
    EXPECT_EQ(windowsNames(wideDirectory(directory) + L"\\*.kor"),
              std::vector<std::wstring>{wideName});
    FILE* byWideName = _wfopen((wideDirectory(directory) + L"\\" + wideName).c_str(), L"rb");
    ASSERT_NE(byWideName, nullptr);
    std::fclose(byWideName);
    EXPECT_TRUE(Platform::fileExists(path.c_str()));
    EXPECT_EQ(libraryNames(directory.File("*.kor")), std::vector<std::string>{utf8Name});
}

TEST(WidePaths, BytesThatAreNotUtf8ComeBackUnchanged) {
    kortest::TempDirectory directory;
    // A lone continuation byte and a byte that never occurs in UTF-8.
    const std::string rawName = "raw\x80_\xFF.kor";
    writeThrough(directory.File(rawName), "kor");
    const std::wstring escaped = {L'r',   L'a',   L'w', 0xDBC0, 0xDC80, L'_',
                                  0xDBC0, 0xDCFF, L'.', L'k',   L'o',   L'r'};
    EXPECT_EQ(windowsNames(wideDirectory(directory) + L"\\*.kor"),
              std::vector<std::wstring>{escaped});
    EXPECT_EQ(libraryNames(directory.File("*.kor")), std::vector<std::string>{rawName});
}

TEST(WidePaths, FramesAreReadAndWrittenUnderWideNames) {
    kortest::TempDirectory directory;
    const std::string path = directory.File(utf8Name);
    const std::string bytes = smokeFrame();
    FILE* file = Platform::openFile(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    FluxaFrameData frame;
    ASSERT_EQ(readKorFile(&frame, path.c_str(), false), 0);
    ASSERT_NE(frame.getChannel(2), nullptr);
    EXPECT_EQ(frame.getChannel(2)[1], 0.5f);

    // The writer creates the missing directories, each level by its wide name.
    const std::string copy = directory.File("\xF0\x9F\x94\xA5 sim/\xE6\xB0\xB4/" + utf8Name);
    ASSERT_EQ(writeKorFile(&frame, copy.c_str(), frame.channelMask), 0);
    EXPECT_EQ(windowsNames(wideDirectory(directory) + L"\\\U0001F525 sim\\\u6C34\\*.kor"),
              std::vector<std::wstring>{wideName});
    FluxaFrameData reread;
    ASSERT_EQ(readKorFile(&reread, copy.c_str(), false), 0);
    ASSERT_NE(reread.getChannel(2), nullptr);
    EXPECT_EQ(reread.getChannel(2)[0], 0.5f);
}

TEST(WidePaths, PluginModulesLoadFromADirectoryWithAWideName) {
    kortest::TempDirectory directory;
    const std::string modules = directory.File("plug-ins \xE6\xB0\xB4\xF0\x9F\x94\xA5");
    ASSERT_TRUE(Platform::createDirectory(modules.c_str()));
    for (const char* base : {"f3dbridge", "vdbbridge"}) {
        const std::string name = std::string(base) + "_test.dll";
        std::filesystem::copy_file(
            std::string(KOR_FAKE_PLUGIN_GOOD) + "/" + name,
            std::filesystem::path(wideDirectory(directory) + L"\\plug-ins \u6C34\U0001F525") /
                name);
    }
    releasePluginModules();
    EXPECT_EQ(initalizeKoraLoader(modules.c_str(), "test", 0), 3);
    releasePluginModules();
}

} // namespace
