// SPDX-License-Identifier: Apache-2.0
// Fuzz inputs as files and streams, for targets whose code under test reads a FILE* or
// opens a path.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kortest {

// A read-only stream over size bytes at data, which must outlive it; null when it cannot
// be opened. The platform's own way (tests/fuzz/InputStream*.cpp, picked by CMake).
FILE* openInputStream(const uint8_t* data, size_t size);

// Writes the input to a new temporary file named after stem and returns its path; the
// caller removes it.
inline std::string writeFuzzInputFile(const uint8_t* data, size_t size, const char* stem) {
    // Replays of several targets run at once: the salt keeps their names apart.
    static const unsigned salt = std::random_device{}();
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        (std::string(stem) + "_" + std::to_string(salt) + "_" + std::to_string(counter++));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush()) {
        std::abort();
    }
    return path.string();
}

} // namespace kortest
