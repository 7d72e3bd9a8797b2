// SPDX-License-Identifier: Apache-2.0
// korsynth: writes a synthetic smoke sequence as a simulator would cache it, so demos and
// tests have frames without a simulator. It is a host of the public frame writer.
//
//   korsynth <directory> [frames=3] [size=96]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <korloader/IKor.h>
#include <korloader/IKorWriter.h>
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
};

const ChannelPlan channelPlans[] = {
    {FluxaEnum::Smoke, 16, 1},     {FluxaEnum::Temperature, 12, 1}, {FluxaEnum::Fuel, 10, 1},
    {FluxaEnum::VelocityX, 12, 2}, {FluxaEnum::VelocityY, 12, 2},   {FluxaEnum::VelocityZ, 12, 2},
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

bool writeFrame(IKorWriter& writer, const std::string& pattern, int frameNumber, int size) {
    const Plume plume{size, frameNumber};
    writer.setFrameNumber(frameNumber);
    for (const ChannelPlan& plan : channelPlans) {
        const std::vector<float> values = makeChannel(plan.channel, plume);
        if (!writer.setChannel(plan.channel, values.data(), plan.bits, 0.0f, plan.passes)) {
            std::fprintf(stderr, "korsynth: %s\n", writer.getLastError());
            return false;
        }
    }
    if (!writer.save(pattern.c_str())) {
        std::fprintf(stderr, "korsynth: %s\n", writer.getLastError());
        return false;
    }
    std::string path = pattern;
    const size_t hashes = path.find("####");
    path.replace(hashes, 4, std::to_string(10000 + frameNumber).substr(1));
    std::printf("wrote %s\n", path.c_str());
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
    IKorWriter* writer = newIKorWriter();
    // 10 cm voxels, the box centred on the origin in x and z, resting on y = 0.
    const float voxel = 0.1f;
    const float half = -0.5f * voxel * float(size);
    const float transform[12] = {voxel, 0, 0, 0, voxel, 0, 0, 0, voxel, half, 0, half};
    bool written = writer != nullptr && writer->setGridSize(size, size, size) &&
                   writer->setTransform(transform);
    for (int frame = 1; written && frame <= frames; ++frame) {
        written = writeFrame(*writer, pattern, frame, size);
    }
    deleteIKorWriter(writer);
    return written ? 0 : 1;
}
