// SPDX-License-Identifier: Apache-2.0
// Per-test temporary files, never in the working directory.
#pragma once

#include <cstdio>
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

// A read-write stream on a fresh file of its own, removed with the object. (std::tmpfile
// makes Windows' runtime pick names that processes running at once can share.)
class TemporaryStream {
public:
    TemporaryStream();
    ~TemporaryStream();
    TemporaryStream(const TemporaryStream&) = delete;
    TemporaryStream& operator=(const TemporaryStream&) = delete;

    // Null when the file could not be created.
    std::FILE* Get() const { return file; }

private:
    std::string path;
    std::FILE* file;
};

} // namespace kortest
