// SPDX-License-Identifier: Apache-2.0
// A zlib block of more than 4 GiB each way, without 4 GiB of memory: input and output are
// ranges in which one small memory file is mapped again and again.
#include "codec/InflateBlock.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#define KOR_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KOR_THREAD_SANITIZER 1
#endif
#endif

namespace {

constexpr uint64_t PageBytes = 4096;
constexpr uint64_t ChunkBytes = uint64_t(64) << 20;
// A stored deflate block of this many bytes, header included, repeats exactly in a chunk.
constexpr uint64_t StoredBlockBytes = 65536;
constexpr uint64_t StoredDataBytes = StoredBlockBytes - 5;

// One page before and one after chunks repetitions of a memory file of ChunkBytes.
class AliasedRange {
public:
    explicit AliasedRange(uint64_t chunkCount) {
        const int file = memfd_create("kor-inflate", 0);
        if (file < 0 || ftruncate(file, static_cast<off_t>(ChunkBytes)) != 0) {
            return;
        }
        size = 2 * PageBytes + chunkCount * ChunkBytes;
        void* range =
            mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (range == MAP_FAILED) {
            close(file);
            return;
        }
        base = static_cast<uint8_t*>(range);
        for (uint64_t c = 0; c < chunkCount; ++c) {
            if (mmap(Chunks() + c * ChunkBytes, ChunkBytes, PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_FIXED, file, 0) == MAP_FAILED) {
                munmap(base, size);
                base = nullptr;
                break;
            }
        }
        close(file);
    }
    ~AliasedRange() {
        if (base != nullptr) {
            munmap(base, size);
        }
    }
    uint8_t* Chunks() const { return base + PageBytes; }

    uint8_t* base = nullptr;
    uint64_t size = 0;
};

} // namespace

TEST(InflateBlock, BlocksBeyondFourGiBGoThroughInPieces) {
#ifdef KOR_THREAD_SANITIZER
    // ThreadSanitizer shadows every mapping of the aliased ranges separately: more than the
    // machine's memory for what needs 128 MiB, and this case involves no threads.
    GTEST_SKIP() << "the aliased ranges cannot be shadowed by ThreadSanitizer";
#endif
    // Before the fix sizes were 32-bit, and such a block could not be inflated at all.
    const uint64_t chunkCount = 65;
    AliasedRange input(chunkCount);
    AliasedRange output(chunkCount);
    ASSERT_NE(input.base, nullptr);
    ASSERT_NE(output.base, nullptr);
    // The zlib header, then stored blocks of zeros, the same in every chunk, then an empty
    // final block and the Adler-32 of the zeros.
    uint8_t* const chunk = input.Chunks();
    for (uint64_t at = 0; at < ChunkBytes; at += StoredBlockBytes) {
        const uint8_t header[5] = {0x00, 0xFB, 0xFF, 0x04, 0x00};
        std::memcpy(chunk + at, header, sizeof header);
    }
    const uint64_t total = chunkCount * ChunkBytes / StoredBlockBytes * StoredDataBytes;
    ASSERT_GT(total, uint64_t(1) << 32);
    const uint32_t adler = (static_cast<uint32_t>(total % 65521) << 16) | 1;
    const uint8_t tail[9] = {0x01,
                             0x00,
                             0x00,
                             0xFF,
                             0xFF,
                             uint8_t(adler >> 24),
                             uint8_t(adler >> 16),
                             uint8_t(adler >> 8),
                             uint8_t(adler)};
    uint8_t* const start = chunk - 2;
    start[0] = 0x78;
    start[1] = 0x01;
    std::memcpy(chunk + chunkCount * ChunkBytes, tail, sizeof tail);
    const uint64_t streamBytes = 2 + chunkCount * ChunkBytes + sizeof tail;

    uint64_t produced = 0;
    EXPECT_EQ(inflateBlock(start, streamBytes, output.Chunks(), total, &produced), 1);
    EXPECT_EQ(produced, total);
}
