// SPDX-License-Identifier: Apache-2.0
// korsynth: writes a synthetic smoke sequence as a simulator would cache it, so demos and
// tests have frames without a simulator. Each channel goes through the codec (the smoke
// channel as a zone container), the record table is assembled and the writer stores it.
//
//   korsynth <directory> [frames=3] [size=96]
#include "cachefile/KorWriter.h"
#include "codec/SGCompressor.h"
#include "codec/ZoneEncoder.h"
#include "loader/FluxaFrameData.h"
#include "support/FramePattern.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A plume rising through the lower middle of the box, drifting with the frame number.
struct Plume {
    int size;
    int frame;

    // 0 outside the plume, up to 1 at its core.
    float density(int i, int j, int k) const {
        const float x = (float(i) + 0.5f) / float(size) - 0.5f - 0.02f * float(frame);
        const float z = (float(k) + 0.5f) / float(size) - 0.5f;
        const float y = (float(j) + 0.5f) / float(size);
        const float radius = 0.12f + 0.15f * y;
        const float r = std::sqrt(x * x + z * z) / radius;
        if (r >= 1.0f || y > 0.2f + 0.25f * float(frame)) {
            return 0.0f;
        }
        return (1.0f - r * r) * (1.0f - 0.5f * y);
    }
};

struct ChannelPlan {
    int channel;
    int bits;
    int passes;
    bool zones;
};

const ChannelPlan channelPlans[] = {
    {FluxaEnum::Smoke, 16, 1, true},      {FluxaEnum::Temperature, 12, 1, false},
    {FluxaEnum::Fuel, 10, 1, false},      {FluxaEnum::VelocityX, 12, 2, false},
    {FluxaEnum::VelocityY, 12, 2, false}, {FluxaEnum::VelocityZ, 12, 2, false},
};

std::vector<float> makeChannel(int channel, const Plume& plume) {
    const int n = plume.size;
    std::vector<float> values(size_t(n) * n * n);
    size_t v = 0;
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i, ++v) {
                const float d = plume.density(i, j, k);
                switch (channel) {
                case FluxaEnum::Smoke:
                    values[v] = d;
                    break;
                case FluxaEnum::Temperature:
                    values[v] = d > 0 ? 300.0f + 900.0f * d : 0.0f;
                    break;
                case FluxaEnum::Fuel:
                    values[v] = d > 0.6f ? 2.5f * (d - 0.6f) : 0.0f;
                    break;
                case FluxaEnum::VelocityX:
                    values[v] = d * 0.3f * std::sin(0.2f * float(j));
                    break;
                case FluxaEnum::VelocityY:
                    values[v] = d * 4.0f;
                    break;
                default:
                    values[v] = d * 0.3f * std::cos(0.2f * float(j));
                    break;
                }
            }
        }
    }
    return values;
}

bool writeFrame(const std::string& pattern, int frameNumber, int size) {
    const Plume plume{size, frameNumber};
    const int32_t extents[3] = {size, size, size};
    std::vector<int32_t> table;
    uint32_t mask = 0;
    for (const ChannelPlan& plan : channelPlans) {
        const std::vector<float> values = makeChannel(plan.channel, plume);
        SGCompressor<3> compressor;
        const uint64_t bytes =
            plan.zones
                ? compressZones(compressor, values.data(), extents, plan.bits, 0.0f, plan.passes)
                : compressor.Compress(values.data(), extents, plan.bits, 0.0f, plan.passes);
        if (bytes == 0) {
            std::fprintf(stderr, "korsynth: channel %d could not be encoded\n", plan.channel);
            return false;
        }
        // A record: channel, payload words, payload.
        const size_t words = size_t((bytes + 3) / 4);
        table.push_back(plan.channel);
        table.push_back(int32_t(words));
        const size_t at = table.size();
        table.resize(at + words, 0);
        std::memcpy(table.data() + at, compressor.OutputData(), size_t(bytes));
        mask |= 1u << plan.channel;
    }
    FluxaFrameData frame;
    frame.recordTable = new int32_t[table.size()];
    std::memcpy(frame.recordTable, table.data(), table.size() * 4);
    frame.recordWords = int32_t(table.size());
    for (int axis = 0; axis < 3; ++axis) {
        frame.gridSize[axis] = size;
    }
    // 10 cm voxels, the box centred on the origin in x and z, resting on y = 0.
    const float voxel = 0.1f;
    const float transform[12] = {voxel, 0,
                                 0,     0,
                                 voxel, 0,
                                 0,     0,
                                 voxel, -0.5f * voxel * float(size),
                                 0,     -0.5f * voxel * float(size)};
    std::memcpy(frame.transform, transform, sizeof transform);
    frame.frameNumber = frameNumber;
    const CharString path = expandFramePattern(pattern.c_str(), frameNumber, "");
    if (writeKorFile(&frame, path.Chars(), mask) != WriteOk) {
        std::fprintf(stderr, "korsynth: cannot write %s\n", path.Chars());
        return false;
    }
    std::printf("wrote %s\n", path.Chars());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: korsynth <directory> [frames=3] [size=96]\n");
        return 2;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 3;
    const int size = argc > 3 ? std::atoi(argv[3]) : 96;
    if (frames < 1 || frames > 1000 || size < 4 || size > 1024) {
        std::fprintf(stderr, "korsynth: frames must be 1..1000 and size 4..1024\n");
        return 2;
    }
    const std::string pattern = std::string(argv[1]) + "/smoke.####.kor";
    for (int frame = 1; frame <= frames; ++frame) {
        if (!writeFrame(pattern, frame, size)) {
            return 1;
        }
    }
    return 0;
}
