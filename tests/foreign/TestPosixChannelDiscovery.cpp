// SPDX-License-Identifier: Apache-2.0
// Discovery where only POSIX file systems can hide a file from its directory listing.
#include "korloader/IKor.h"
#include "tests/foreign/ChannelDiscoveryTest.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using kortest::ChannelDiscovery;
using Names = kortest::ChannelDiscovery::Names;

TEST_F(ChannelDiscovery, AFileTheDirectoryListingMissesIsAskedAboutDirectly) {
    loadGoodPlugins();
    // A backslash is an ordinary byte in a POSIX file name, but the directory search takes
    // it for a separator, so listing never finds this file although it opens.
    EXPECT_EQ(offered(cache("back\\slash.vdb", "channel density\n")), Names{"density"});
    EXPECT_EQ(offered(directory.File("missing\\name.vdb")), Names{});

    // A directory that may be passed through but not listed. Root lists anything, so the
    // check runs in a child process that gives up root first.
    namespace fs = std::filesystem;
    fs::create_directories(directory.File("sealed"));
    const std::string sealed = cache("sealed/a.vdb", "channel density\n");
    fs::permissions(directory.File("sealed"), fs::perms::owner_write | fs::perms::owner_exec |
                                                  fs::perms::group_exec | fs::perms::others_exec);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(77);
        }
        IKor* frame = newIKor(sealed.c_str());
        const bool opened = frame != nullptr && frame->hasChannel(FluxaEnum::Smoke) == 1;
        _exit(opened && offered(sealed) == Names{"density"} ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    fs::permissions(directory.File("sealed"), fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "cannot drop root to test an unlistable directory";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a frame in an unlistable directory got no channels";
}

} // namespace
