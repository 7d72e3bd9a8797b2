// SPDX-License-Identifier: Apache-2.0
// Works in blocks of the 32 particles that share a plane word, so that each plane word is
// loaded once per block rather than once per particle.
#include "particles/PRTIN.h"

#include "particles/ParticleChannels.h"

#include <cstring>

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
            uint32_t rebuilt[32] = {};
            for (int b = 0; b < 32; ++b) {
                const uint32_t plane = planes[(j * 32 + b) * planeWords + block];
                for (int64_t i = first; i < last; ++i) {
                    rebuilt[i & 31] |= ((plane >> (i & 31)) & 1u) << b;
                }
            }
            for (int64_t i = first; i < last; ++i) {
                out[i * words + j] = rebuilt[i & 31];
            }
        }
        first = last;
    }
}
