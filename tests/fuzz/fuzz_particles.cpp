// SPDX-License-Identifier: Apache-2.0
// The particle payloads through the reader (chunk 1002 and the legacy sections of header
// tags 7 and 13), then every interface call on every group that loaded: each channel of
// a bounded number of particles, and identifier lookups.
#include "cachefile/KorReader.h"
#include "particles/PGroup.h"
#include "tests/fuzz/FuzzInputs.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Larger groups are legal but would only measure the allocator.
constexpr int32_t MaxFuzzParticles = 1 << 16;
constexpr int32_t ParticlesAsked = 64;

void askEverything(FluxaFrameData::PGroup& group) {
    group.getName();
    group.getParticleCount();
    for (int channel = -1; channel <= 32; ++channel) {
        group.hasChannel(channel);
        group.getChannelSize(channel);
        group.getChannelType(channel);
        group.getChannelComponents(channel);
        alignas(8) unsigned char value[12];
        for (int32_t p = -1; p <= group.count && p <= ParticlesAsked; ++p) {
            group.getValue(p, channel, value);
        }
        // A stored count may be negative; only a real group has a last particle.
        if (group.count > 0) {
            group.getValue(group.count - 1, channel, value);
        }
    }
    for (int32_t p = 0; p < group.count && p < 4; ++p) {
        int64_t id = 0;
        if (group.getValue(p, 10, &id)) {
            group.findParticleById(id);
        }
    }
    group.findParticleById(0);
}

void readOnce(const uint8_t* data, size_t size, bool headerOnly) {
    int result = 0;
    const std::unique_ptr<FluxaFrameData> frame =
        kortest::readFuzzFrame(data, size, headerOnly, result);
    if (frame == nullptr) {
        return;
    }
    if (result != 0 || frame->voxelCount() > MaxFuzzParticles) {
        return;
    }
    for (int32_t g = 0; g < frame->groups.Count(); ++g) {
        if (frame->groups[g].count <= MaxFuzzParticles) {
            askEverything(frame->groups[g]);
        }
    }
}

} // namespace

// A particle count is a 31-bit number, and a few stored bytes may legitimately stand for
// that many values (a constant codec block), so a hostile count can ask for gigabytes and
// minutes. Allocations beyond this limit fail inside the library, which must then refuse
// cleanly; larger groups are legal but would only measure the allocator. libFuzzer's own
// start-up takes one block of 20 MB, so the limit stays above that.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=32";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readOnce(data, size, false);
    readOnce(data, size, true);
    return 0;
}
