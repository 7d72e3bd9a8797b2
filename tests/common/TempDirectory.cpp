// SPDX-License-Identifier: Apache-2.0
#include "tests/common/TempDirectory.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace kortest {
namespace {

std::string uniqueStem() {
    static std::atomic<unsigned> counter{0};
    return "korloader-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

} // namespace

TempDirectory::TempDirectory()
    : path((std::filesystem::temp_directory_path() / uniqueStem()).string()) {
    std::filesystem::create_directories(path);
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempDirectory::Write(const std::string& name, const std::string& bytes) const {
    const std::string file = File(name);
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::string uniqueTempPath(const std::string& suffix) {
    return (std::filesystem::temp_directory_path() / (uniqueStem() + "-" + suffix)).string();
}

TemporaryStream::TemporaryStream()
    : path(uniqueTempPath("stream")), file(std::fopen(path.c_str(), "w+b")) {}

TemporaryStream::~TemporaryStream() {
    if (file != nullptr) {
        std::fclose(file);
    }
    std::remove(path.c_str());
}

} // namespace kortest
