// SPDX-License-Identifier: Apache-2.0
// The 32 plane words of one word index and one block of 32 particles form a 32 x 32 bit
// matrix whose transpose holds those particles' words, so each block is rebuilt with one
// in-register transpose instead of 1024 single-bit moves.
#include "particles/PRTIN.h"

#include "particles/ParticleChannels.h"

namespace {

// Afterwards bit c of rows[r] is what bit r of rows[c] was.
void transpose32(uint32_t rows[32]) {
    uint32_t mask = 0x0000FFFFu;
    for (int width = 16; width != 0; width >>= 1, mask ^= mask << width) {
        for (int k = 0; k < 32; k = (k + width + 1) & ~width) {
            const uint32_t swapped = ((rows[k] >> width) ^ rows[k + width]) & mask;
            rows[k] ^= swapped << width;
            rows[k + width] ^= swapped;
        }
    }
}

} // namespace

bool PRTIN::Unpack(int32_t particleCount) {
    Init(-1);
    InitRange(particleCount);
    return RunProc(this, &PRTIN::UnpackRange);
}

void PRTIN::UnpackRange(Job* job) {
    const int64_t words = ParticleChannel::layoutOf(channel).words();
    const int64_t particles = decoded->Count() / (4 * words);
    const int64_t planeWords = (particles + 31) / 32;
    const int64_t end = job->end < particles ? job->end : particles;
    uint32_t* out = reinterpret_cast<uint32_t*>(decoded->Data());
    for (int64_t first = job->start; first < end;) {
        const int64_t block = first / 32;
        const int64_t last = (block + 1) * 32 < end ? (block + 1) * 32 : end;
        for (int64_t j = 0; j < words; ++j) {
            uint32_t rows[32];
            for (int64_t b = 0; b < 32; ++b) {
                rows[b] = planes[(j * 32 + b) * planeWords + block];
            }
            transpose32(rows);
            for (int64_t i = first; i < last; ++i) {
                out[i * words + j] = rows[i & 31];
            }
        }
        first = last;
    }
}
