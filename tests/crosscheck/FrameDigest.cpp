// SPDX-License-Identifier: Apache-2.0
// Prints what a host reads from each frame, through the public header and the shared
// library only: grid size, transform and every grid channel, every particle group with
// every channel and its identifiers, as FNV-1a digests of the exact bytes. Two builds read
// the same frames alike exactly when they print the same lines.
//
//   korloader_frame_digest <frame.kor>...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <korloader/IKor.h>
#include <string>
#include <vector>

namespace {

class Digest {
public:
    void Add(const void* data, size_t bytes) {
        const auto* byte = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < bytes; ++i) {
            value = (value ^ byte[i]) * 0x100000001B3ull;
        }
    }
    unsigned long long Value() const { return value; }

private:
    unsigned long long value = 0xCBF29CE484222325ull;
};

std::string baseName(const char* path) {
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '/' || *c == '\\') {
            name = c + 1;
        }
    }
    return name;
}

void printGroup(IFluxaSimPrtGroup* group) {
    const int count = group->getParticleCount();
    std::printf("  group \"%s\" particles %d\n", group->getName(), count);
    std::vector<long long> ids;
    for (int channel = 0; channel < FluxaEnum::GridChannelCount; ++channel) {
        if (!group->hasChannel(channel)) {
            continue;
        }
        const int bytes = group->getChannelSize(channel);
        Digest digest;
        int read = 0;
        for (int i = 0; i < count; ++i) {
            unsigned char value[16] = {};
            if (bytes > 0 && bytes <= 16 && group->getValue(i, channel, value)) {
                digest.Add(value, size_t(bytes));
                ++read;
                if (channel == 10 && bytes == 8) {
                    long long id;
                    std::memcpy(&id, value, 8);
                    ids.push_back(id);
                }
            }
        }
        std::printf("    channel %d size %d type %d components %d read %d digest %016llx\n",
                    channel, bytes, group->getChannelType(channel),
                    group->getChannelComponents(channel), read, digest.Value());
    }
    for (size_t i = 0; i < ids.size(); i += 23) {
        std::printf("    id %lld at %d\n", ids[i], group->findParticleById(ids[i]));
    }
}

void printFrame(const char* path) {
    IKor* frame = newIKor(path);
    std::printf("frame %s\n", baseName(path).c_str());
    if (frame == nullptr) {
        std::printf("  refused\n");
        return;
    }
    int size[3];
    frame->getGridSize(size);
    float transform[12];
    frame->getTransform(transform);
    Digest transformDigest;
    transformDigest.Add(transform, sizeof transform);
    std::printf("  grid %d %d %d transform %016llx\n", size[0], size[1], size[2],
                transformDigest.Value());
    const size_t voxels = size_t(size[0]) * size_t(size[1]) * size_t(size[2]);
    for (int channel = -1; channel <= FluxaEnum::GridChannelCount; ++channel) {
        const float* values = frame->getChannel(channel);
        if (values == nullptr) {
            continue;
        }
        Digest digest;
        digest.Add(values, voxels * sizeof(float));
        std::printf("  channel %d reported %d digest %016llx\n", channel,
                    frame->hasChannel(channel), digest.Value());
    }
    // Groups without positions are reached by name only.
    std::vector<IFluxaSimPrtGroup*> listed;
    for (int g = 0; g < frame->getParticleGroupCount(); ++g) {
        listed.push_back(frame->getParticleGroup(unsigned(g)));
        printGroup(listed.back());
    }
    for (const char* name : {"sparks", "smoke trail", "empty", "foam", "spray", "ghost"}) {
        IFluxaSimPrtGroup* const group = frame->getParticleGroupByName(name);
        const auto at = std::find(listed.begin(), listed.end(), group);
        if (group != nullptr && at != listed.end()) {
            std::printf("  \"%s\" is group %d\n", name, int(at - listed.begin()));
        } else if (group != nullptr) {
            printGroup(group);
        }
    }
    deleteIKor(frame);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        printFrame(argv[i]);
    }
    return argc > 1 ? 0 : 2;
}
