// SPDX-License-Identifier: Apache-2.0
// Replays a fuzz target's seed corpus without libFuzzer, so every build checks the seeds.
// Each input is copied into a heap block of exactly its size so that sanitizers see
// over-reads.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], error)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
        std::memcpy(exact.get(), bytes.data(), bytes.size());
        LLVMFuzzerTestOneInput(exact.get(), bytes.size());
        ++replayed;
    }
    if (error || replayed == 0) {
        std::fprintf(stderr, "no seeds replayed from %s\n", argv[1]);
        return 1;
    }
    std::printf("replayed %d seeds\n", replayed);
    return 0;
}
