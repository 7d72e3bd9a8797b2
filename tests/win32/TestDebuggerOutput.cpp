// SPDX-License-Identifier: Apache-2.0
// The debugger output as a debug viewer on Windows receives it: messages that begin with
// '#' and the job framework's warnings reach it, other log messages do not, and loading
// korloader.dll announces its thread pool there without starting a thread.
#include "support/Messages.h"
#include "tests/win32/DebuggerOutputReader.h"

#include <gtest/gtest.h>
#include <string>
// tlhelp32.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

namespace {

using kortest::DebuggerOutputReader;

int threadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

TEST(DebuggerOutput, HashedMessagesAndDebugPrintsReachIt) {
    DebuggerOutputReader debugger;
    logMessage("#bad particles found in group %s, count:%d\n", "fire", 3);
    logMessage("Fluxa cache file not released %d ref:%d\n", 1, 2);
    debugPrint("Please check the %s implementation.\n", "MT PRTIN");
    EXPECT_EQ(debugger.Take(), "#bad particles found in group fire, count:3\n"
                               "Please check the MT PRTIN implementation.\n");
}

TEST(DebuggerOutput, LongHashedMessagesAreCutToTheirBuffer) {
    DebuggerOutputReader debugger;
    logMessage("#%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(debugger.Take(), "#" + std::string(1022, 'x'));
}

TEST(DebuggerOutput, LoadingTheLibraryAnnouncesThePoolAndStartsNoThread) {
    DebuggerOutputReader debugger;
    const int threadsBefore = threadsOfThisProcess();
    ASSERT_GT(threadsBefore, 0);
    // Found beside this program, where the build puts both.
    const HMODULE library = LoadLibraryW(L"korloader.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(threadsOfThisProcess(), threadsBefore);
    EXPECT_EQ(debugger.Take(), "[WinThreadManager] Constructor.\n");
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(GetModuleHandleW(L"korloader.dll"), nullptr) << "nothing keeps it loaded";
}

} // namespace
