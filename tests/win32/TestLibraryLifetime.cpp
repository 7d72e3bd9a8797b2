// SPDX-License-Identifier: Apache-2.0
// korloader.dll's pool and job sets against the way Windows unloads libraries: under a
// lock that a finishing thread needs, and at exit only after stopping every other thread.
#include "codec/ZoneEncoder.h"
#include "tests/cachefile/KorBytes.h"
#include "tests/common/TempDirectory.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

// A 32^3 frame whose smoke is a container of four zones, so that its decode runs on the
// pool's threads.
std::string zonedFrame() {
    const int32_t extents[3] = {32, 32, 32};
    std::vector<float> smoke(32 * 32 * 32);
    for (size_t i = 0; i < smoke.size(); ++i) {
        smoke[i] = float(i % 97) / 97.0f;
    }
    SGCompressor<3> compressor;
    const uint64_t bytes = compressZones(compressor, smoke.data(), extents, 16, 0.0f, 1, 4);
    const std::string stream(reinterpret_cast<const char*>(compressor.OutputData()), bytes);
    kortest::KorBytes records;
    records.i32(1).u32(1u << 2);
    records.raw(kortest::gridTag(32, 32, 32, kortest::gridRecord(2, stream)));
    return kortest::korFile(kortest::korHeader(records.bytes()), "");
}

TEST(LibraryLifetime, AHostMayUnloadAndExitWithThePoolBusy) {
    kortest::TempDirectory directory;
    const std::string frame = directory.Write("zoned.kor", zonedFrame());
    std::wstring command =
        L"korloader_exit_probe.exe \"" + std::wstring(frame.begin(), frame.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the probe hung";
    EXPECT_EQ(status, 0u);
}

} // namespace
