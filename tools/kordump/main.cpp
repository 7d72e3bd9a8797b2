// SPDX-License-Identifier: Apache-2.0
// kordump: opens cache frames through the public API and prints what a host sees: grid
// size, transform, every channel present with its range and mean, particle groups, and
// how long opening and decoding took.
//
//   kordump [--threads N] <frame> [<frame> ...]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <korloader/IKor.h>

namespace {

const char* channelName(int channel) {
    switch (channel) {
    case FluxaEnum::Temperature:
        return "Temperature";
    case FluxaEnum::Smoke:
        return "Smoke";
    case FluxaEnum::Speed:
        return "Speed";
    case FluxaEnum::VelocityX:
        return "VelocityX";
    case FluxaEnum::VelocityY:
        return "VelocityY";
    case FluxaEnum::VelocityZ:
        return "VelocityZ";
    case FluxaEnum::ColorR:
        return "ColorR";
    case FluxaEnum::ColorG:
        return "ColorG";
    case FluxaEnum::ColorB:
        return "ColorB";
    case FluxaEnum::Fuel:
        return "Fuel";
    case FluxaEnum::Wavelet:
        return "Wavelet";
    case FluxaEnum::AdvectionOriginX:
        return "AdvectionOriginX";
    case FluxaEnum::AdvectionOriginY:
        return "AdvectionOriginY";
    case FluxaEnum::AdvectionOriginZ:
        return "AdvectionOriginZ";
    case FluxaEnum::TextureU:
        return "TextureU";
    case FluxaEnum::TextureV:
        return "TextureV";
    case FluxaEnum::TextureW:
        return "TextureW";
    default:
        return "";
    }
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

bool dumpFrame(const char* path) {
    const auto openStart = std::chrono::steady_clock::now();
    IKor* frame = newIKor(path);
    const double openMs = millisecondsSince(openStart);
    if (frame == nullptr) {
        std::printf("%s: cannot be opened (korSetLogFile tells why)\n", path);
        return false;
    }
    int size[3];
    frame->getGridSize(size);
    float t[12];
    frame->getTransform(t);
    std::printf("%s  (opened in %.1f ms)\n", path, openMs);
    std::printf("  grid      %d x %d x %d\n", size[0], size[1], size[2]);
    std::printf("  axes      (%g %g %g) (%g %g %g) (%g %g %g)\n", t[0], t[1], t[2], t[3], t[4],
                t[5], t[6], t[7], t[8]);
    std::printf("  origin    (%g %g %g)\n", t[9], t[10], t[11]);
    const long long voxels = (long long)size[0] * size[1] * size[2];
    for (int channel = 0; channel < FluxaEnum::GridChannelCount; ++channel) {
        if (!frame->hasChannel(channel)) {
            continue;
        }
        const auto decodeStart = std::chrono::steady_clock::now();
        const float* values = frame->getChannel(channel);
        const double decodeMs = millisecondsSince(decodeStart);
        if (values == nullptr) {
            std::printf("  %2d %-17s cannot be decoded\n", channel, channelName(channel));
            continue;
        }
        float low = voxels > 0 ? values[0] : 0.0f;
        float high = low;
        double sum = 0;
        for (long long v = 0; v < voxels; ++v) {
            low = values[v] < low ? values[v] : low;
            high = values[v] > high ? values[v] : high;
            sum += values[v];
        }
        std::printf("  %2d %-17s min %-11.6g max %-11.6g mean %-11.6g decoded in %.1f ms\n",
                    channel, channelName(channel), low, high,
                    voxels > 0 ? sum / double(voxels) : 0.0, decodeMs);
    }
    const int groups = frame->getParticleGroupCount();
    for (int g = 0; g < groups; ++g) {
        IFluxaSimPrtGroup* group = frame->getParticleGroup(unsigned(g));
        if (group != nullptr) {
            std::printf("  particles \"%s\": %d\n", group->getName(), group->getParticleCount());
        }
    }
    deleteIKor(frame);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--threads") == 0) {
        korSetThreadCount(std::atoi(argv[2]));
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: kordump [--threads N] <frame> [<frame> ...]\n");
        return 2;
    }
    const unsigned version = FluxaSimSDKGetVersionNumber();
    std::printf("korloader %u.%u.%u\n", (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                version & 0xFF);
    bool allOpened = true;
    for (int i = first; i < argc; ++i) {
        allOpened &= dumpFrame(argv[i]);
    }
    korSetThreadCount(0);
    return allOpened ? 0 : 1;
}
