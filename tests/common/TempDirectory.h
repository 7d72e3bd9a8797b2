// SPDX-License-Identifier: Apache-2.0
// Per-test temporary files, never in the working directory.
#pragma once

#include <string>

namespace kortest {

// A directory of its own, removed with everything inside when the object goes.
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return path; }
    // Path of a file inside the directory.
    std::string File(const std::string& name) const { return path + "/" + name; }
    // Writes bytes to a file inside the directory and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path;
};

// A unique path in the system temporary directory (the file is not created).
std::string uniqueTempPath(const std::string& suffix);

} // namespace kortest
