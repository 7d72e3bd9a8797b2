// SPDX-License-Identifier: Apache-2.0
// kortool's subcommands. Each returns the process exit status: 0 when everything asked
// for was done, non-zero otherwise, with the reasons on stderr.
#pragma once

#include <string>
#include <vector>

namespace kortool {

int runInfo(const std::vector<std::string>& files, bool json);

// logPath: the library's log file when --log gave one, else "" (a temporary one is used).
int runVerify(const std::vector<std::string>& files, const std::string& logPath);

struct ConvertOptions {
    std::string input;
    std::string output;
    std::string mapping;
    int bits = 16;
};
int runConvert(const ConvertOptions& options);

struct PreviewOptions {
    std::string file;
    std::string output;
    std::string channel;
    char axis = 'z';
    int slice = -1; // -1: the middle slice
    bool maxProjection = false;
};
int runPreview(const PreviewOptions& options);

int runChannels(const std::string& file);

} // namespace kortool
