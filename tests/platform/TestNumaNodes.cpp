// SPDX-License-Identifier: Apache-2.0
// The NUMA processor count from sysfs-shaped trees.
#include "platform/posix/NumaNodes.h"
#include "tests/common/TempDirectory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

using kortest::TempDirectory;

TEST(NumaNodes, CountsEveryOnlineNodeWhateverItsNumber) {
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, std::string>> files;
        int expected;
    };
    const Case cases[] = {
        // Probing node0, node1, ... stopped at the gap and counted 4 here.
        {"gaps in the numbering",
         {{"online", "0,2-3\n"},
          {"node0/cpulist", "0-3\n"},
          {"node2/cpulist", "4-5,8\n"},
          {"node3/cpulist", "9\n"}},
         8},
        {"memory-only node",
         {{"online", "0-1\n"}, {"node0/cpulist", "0-1\n"}, {"node1/cpulist", "\n"}},
         2},
        {"node directory missing", {{"online", "0-1\n"}, {"node1/cpulist", "0-5\n"}}, 6},
        {"offline node left out",
         {{"online", "1\n"}, {"node0/cpulist", "0-3\n"}, {"node1/cpulist", "4-5\n"}},
         2},
        {"no online list", {{"node0/cpulist", "0-3\n"}}, 0},
        {"malformed online list", {{"online", "x\n"}, {"node0/cpulist", "0-3\n"}}, 0},
        {"absurd ranges stay bounded",
         {{"online", "0-9999999999999\n"}, {"node0/cpulist", "0-9223372036854775807\n"}},
         1 << 20},
    };
    for (const Case& row : cases) {
        TempDirectory root;
        for (const auto& [name, text] : row.files) {
            std::filesystem::create_directories(
                std::filesystem::path(root.File(name)).parent_path());
            root.Write(name, text);
        }
        EXPECT_EQ(Platform::numaProcessorCountUnder(root.Path().c_str()), row.expected)
            << row.label;
    }
}
