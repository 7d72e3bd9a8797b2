// SPDX-License-Identifier: Apache-2.0
#include "tests/particles/ParticleBytes.h"

#include "cachefile/KorReader.h"
#include "particles/PGroup.h"
#include "tests/common/CapturedOutput.h"
#include "tests/common/TempDirectory.h"

#include <zlib.h>

namespace kortest {

std::string floatBytes(const std::vector<float>& values) {
    return KorBytes().floats(values).bytes();
}

std::string int64Bytes(const std::vector<int64_t>& values) {
    KorBytes out;
    for (const int64_t value : values) {
        out.i64(value);
    }
    return out.bytes();
}

std::string zlibBytes(const std::string& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
             uLong(bytes.size()));
    out.resize(size);
    return out;
}

std::string codecBytes(const std::vector<float>& values) {
    return rawStream(values);
}

std::string componentMajorBytes(const std::vector<float>& values, int components) {
    const size_t count = values.size() / size_t(components);
    std::vector<float> reordered;
    for (int j = 0; j < components; ++j) {
        for (size_t i = 0; i < count; ++i) {
            reordered.push_back(values[i * size_t(components) + size_t(j)]);
        }
    }
    return rawStream(reordered);
}

std::string bitPlaneBytes(const std::string& bytes, int words) {
    const size_t count = bytes.size() / (4 * size_t(words));
    const size_t planeWords = (count + 31) / 32;
    std::vector<uint32_t> planes(planeWords * size_t(words) * 32, 0);
    for (size_t i = 0; i < count; ++i) {
        for (size_t j = 0; j < size_t(words); ++j) {
            uint32_t word;
            std::memcpy(&word, bytes.data() + (i * size_t(words) + j) * 4, 4);
            for (size_t b = 0; b < 32; ++b) {
                if ((word >> b) & 1u) {
                    planes[(j * 32 + b) * planeWords + i / 32] |= 1u << (i % 32);
                }
            }
        }
    }
    KorBytes raw;
    for (const uint32_t word : planes) {
        raw.u32(word);
    }
    return zlibBytes(raw.bytes());
}

std::string identifierStream(const std::vector<int64_t>& deltas) {
    KorBytes out;
    out.u8(32).u32(0); // width 32, bias 0
    for (const int64_t delta : deltas) {
        out.u32(uint32_t(uint64_t(delta))).u32(uint32_t(uint64_t(delta) >> 32));
    }
    return out.u8(0).u8(0).u8(0).bytes(); // the writer pads to whole words
}

std::string particleChunkBody(const std::vector<ChunkGroup>& groups) {
    KorBytes body;
    body.i32(int32_t(groups.size()));
    for (const ChunkGroup& group : groups) {
        body.str(group.name).i32(group.flags).i32(group.count).i64(group.extra);
        body.i32(int32_t(group.channels.size()));
        for (const StoredChannel& channel : group.channels) {
            body.i32(channel.channel).i32(channel.method).str(channel.bytes);
        }
    }
    return body.bytes();
}

std::string legacySection(int32_t tag, const std::vector<LegacyGroup>& groups) {
    std::string shared;
    KorBytes described;
    described.i32(int32_t(groups.size()));
    for (const LegacyGroup& group : groups) {
        int32_t offsets[32];
        std::fill(offsets, offsets + 32, -1);
        for (const LegacyChannel& channel : group.channels) {
            offsets[channel.channel] = int32_t(shared.size() / 4);
            shared += channel.bytes;
            shared.resize((shared.size() + 3) / 4 * 4, '\0');
        }
        described.str(group.name).i32(group.count);
        for (const int32_t offset : offsets) {
            described.i32(offset);
        }
        described.raw(group.subRecords).i32(0);
    }
    return KorBytes()
        .i32(tag)
        .i32(int32_t(shared.size() / 4))
        .raw(shared)
        .raw(described.bytes())
        .bytes();
}

std::string particleFile(const std::string& records, const std::string& chunks) {
    return korFile(korHeader(records), chunks);
}

std::string particleFileWithoutTrailer(const std::string& records) {
    return korHeader(records);
}

int readParticleBytes(FluxaFrameData& frame, const std::string& bytes, std::string* log,
                      bool headerOnly) {
    static TempDirectory directory;
    static int serial = 0;
    const std::string path =
        directory.Write("particles" + std::to_string(serial++) + ".kor", bytes);
    CapturedLog captured;
    const int result = readKorFile(&frame, path.c_str(), headerOnly);
    if (log != nullptr) {
        *log = captured.Text();
    }
    return result;
}

void giveGroups(FluxaFrameData& frame, const std::vector<int32_t>& counts) {
    frame.groups.SetSize(int32_t(counts.size()));
    for (size_t g = 0; g < counts.size(); ++g) {
        frame.groups[int32_t(g)].frame = &frame;
        frame.groups[int32_t(g)].count = counts[g];
        frame.groups[int32_t(g)].name = ("g" + std::to_string(g)).c_str();
    }
}

void storeChannel(FluxaFrameData::PGroup& group, int channel, uint32_t method,
                  const std::string& bytes) {
    FluxaFrameData::PGroup::Channel& stored = group.channels[channel];
    stored.method = method;
    stored.compressed.SetSize(int64_t(bytes.size()), nullptr, true);
    if (!bytes.empty()) {
        std::memcpy(stored.compressed.Data(), bytes.data(), bytes.size());
    }
}

std::string valuesOf(FluxaFrameData::PGroup& group, int channel) {
    std::string values;
    const int bytes = group.getChannelSize(channel);
    for (int i = 0; i < group.count; ++i) {
        char value[12] = {};
        if (!group.getValue(i, channel, value)) {
            return "getValue failed at " + std::to_string(i);
        }
        values.append(value, size_t(bytes));
    }
    return values;
}

std::vector<float> samplePositions(int count) {
    std::vector<float> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(float(i) * 0.5f);
        values.push_back(float(i % 7) - 3.0f);
        values.push_back(float(i) * -0.25f);
    }
    return values;
}

} // namespace kortest
