// SPDX-License-Identifier: Apache-2.0
#include "tests/common/IndependentKor.h"

#include "tests/codec/ReferenceDecoder.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <zlib.h>

namespace kortest {

namespace {

struct Cursor {
    const std::string& bytes;
    size_t at;

    void need(size_t n) const {
        if (bytes.size() - at < n || at > bytes.size()) {
            throw std::runtime_error("kor file ends early at byte " + std::to_string(at));
        }
    }
    uint64_t little(int n) {
        need(size_t(n));
        uint64_t value = 0;
        for (int i = 0; i < n; ++i) {
            value |= uint64_t(uint8_t(bytes[at + size_t(i)])) << (8 * i);
        }
        at += size_t(n);
        return value;
    }
    int32_t i32() { return int32_t(uint32_t(little(4))); }
    int64_t i64() { return int64_t(little(8)); }
    float f32() {
        const uint32_t bits = uint32_t(little(4));
        float value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    std::string take(size_t n) {
        need(n);
        std::string out = bytes.substr(at, n);
        at += n;
        return out;
    }
    std::string str() { return take(size_t(i32())); }
};

std::vector<float> decodeBlock(const std::vector<uint8_t>& stream, int axes) {
    const ReferenceResult result = referenceDecode(stream, axes);
    if (!result.recognised || result.overrun) {
        throw std::runtime_error("codec stream not decodable");
    }
    return result.values;
}

// A single block, or a container: zone count, output offsets (elements), input offsets
// (bytes after the tables), then the zones' blocks.
std::vector<float> decodeGridStream(const std::vector<uint8_t>& stream, size_t voxels) {
    if (stream.size() >= 2 && stream[0] == 0x02 && stream[1] == 0xFC) {
        const size_t zones = size_t(stream[2]) | size_t(stream[3]) << 8;
        const std::string bytes(stream.begin(), stream.end());
        Cursor tables{bytes, 4};
        std::vector<int32_t> outputAt(zones), inputAt(zones);
        for (int32_t& offset : outputAt) {
            offset = tables.i32();
        }
        for (int32_t& offset : inputAt) {
            offset = tables.i32();
        }
        std::vector<float> values(voxels, 0.0f);
        for (size_t z = 0; z < zones; ++z) {
            const size_t begin = tables.at + size_t(inputAt[z]);
            const size_t end = z + 1 < zones ? tables.at + size_t(inputAt[z + 1]) : stream.size();
            const std::vector<float> zone = decodeBlock(
                std::vector<uint8_t>(stream.begin() + long(begin), stream.begin() + long(end)), 3);
            std::copy(zone.begin(), zone.end(), values.begin() + outputAt[z]);
        }
        return values;
    }
    return decodeBlock(stream, 3);
}

std::string inflated(const std::string& bytes, size_t size) {
    std::string out(size, '\0');
    uLongf produced = uLongf(size);
    if (uncompress(reinterpret_cast<Bytef*>(&out[0]), &produced,
                   reinterpret_cast<const Bytef*>(bytes.data()), uLong(bytes.size())) != Z_OK ||
        produced != size) {
        throw std::runtime_error("zlib particle channel not decodable");
    }
    return out;
}

int wordsPerParticle(int channel) {
    if (channel == 0 || channel == 1 || channel == 4) {
        return 3;
    }
    if (channel >= 6 && channel <= 8) {
        return 0;
    }
    return channel == 10 ? 2 : 1;
}

std::string floatsToBytes(const std::vector<float>& values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * 4);
}

std::string decodeParticles(int channel, int32_t method, const std::string& bytes, int32_t count) {
    const size_t words = size_t(wordsPerParticle(channel));
    const size_t size = size_t(count) * words * 4;
    const std::vector<uint8_t> stream(bytes.begin(), bytes.end());
    switch (method) {
    case 0:
        return bytes.substr(0, size);
    case 1:
        return inflated(bytes, size);
    case 2:
        return floatsToBytes(decodeBlock(stream, 1));
    case 3: {
        const std::vector<float> byComponent = decodeBlock(stream, 1);
        std::vector<float> interleaved(byComponent.size());
        for (size_t i = 0; i < size_t(count); ++i) {
            for (size_t j = 0; j < words; ++j) {
                interleaved[i * words + j] = byComponent[j * size_t(count) + i];
            }
        }
        return floatsToBytes(interleaved);
    }
    case 4: {
        const size_t planeWords = (size_t(count) + 31) / 32;
        const std::string planes = inflated(bytes, planeWords * words * 32 * 4);
        std::vector<uint32_t> out(size_t(count) * words, 0);
        for (size_t i = 0; i < size_t(count); ++i) {
            for (size_t j = 0; j < words; ++j) {
                for (size_t b = 0; b < 32; ++b) {
                    uint32_t plane;
                    std::memcpy(&plane, planes.data() + ((j * 32 + b) * planeWords + i / 32) * 4,
                                4);
                    out[i * words + j] |= ((plane >> (i % 32)) & 1u) << b;
                }
            }
        }
        return std::string(reinterpret_cast<const char*>(out.data()), out.size() * 4);
    }
    default:
        throw std::runtime_error("unknown particle method " + std::to_string(method));
    }
}

void readChunks(Cursor& in, IndependentFrame& frame) {
    if (in.i32() != 13) {
        throw std::runtime_error("the chunk list does not start with 13");
    }
    for (int32_t id = in.i32(); id != 9999999; id = in.i32()) {
        const int64_t size = in.i64();
        const size_t end = in.at + size_t(size);
        if (id == 1000) {
            frame.groups.resize(size_t(in.i32()));
            for (IndependentGroup& group : frame.groups) {
                group.name = in.str();
                group.count = in.i32();
                group.summaryMask = uint32_t(in.i32());
                in.i32(); // flags
            }
            in.at = end;
            in.i32(); // the word after the summary
            continue;
        }
        if (id == 1001) {
            frame.note = in.str();
        } else if (id == 1002) {
            const int32_t groups = in.i32();
            for (int32_t g = 0; g < groups; ++g) {
                IndependentGroup& group = frame.groups.at(size_t(g));
                if (in.str() != group.name) {
                    throw std::runtime_error("chunk 1002 names another group");
                }
                in.i32(); // flags
                group.count = in.i32();
                in.i64(); // extra
                const int32_t channels = in.i32();
                for (int32_t k = 0; k < channels; ++k) {
                    const int32_t channel = in.i32();
                    const int32_t method = in.i32();
                    const std::string bytes = in.str();
                    group.channels[channel] = decodeParticles(channel, method, bytes, group.count);
                }
            }
        } else if (id == 1003) {
            const int32_t entries = in.i32();
            for (int32_t e = 0; e < entries; ++e) {
                const int32_t channel = in.i32();
                const float low = in.f32();
                frame.ranges[channel] = {low, in.f32()};
            }
        }
        in.at = end;
    }
}

void readHeader(Cursor& in, IndependentFrame& frame, std::string& table) {
    if (in.take(4) != "KORA") {
        throw std::runtime_error("no KORA magic");
    }
    for (int32_t tag = in.i32(); tag > 0 && tag <= 13; tag = in.i32()) {
        switch (tag) {
        case 1:
            frame.channelMask = uint32_t(in.i32());
            break;
        case 2:
            for (float& value : frame.transform) {
                value = in.f32();
            }
            break;
        case 3:
            for (int32_t& extent : frame.gridSize) {
                extent = in.i32();
            }
            table = in.take(size_t(in.i32()) * 4);
            break;
        case 4:
            frame.frameNumber = in.i32();
            break;
        case 5:
            in.take(4);
            break;
        case 9:
            in.take(8);
            break;
        case 10:
            in.take(16);
            break;
        case 11:
            in.take(3 * 48 + 8);
            break;
        case 12:
            in.take(size_t(in.i32()));
            break;
        default:
            throw std::runtime_error("header tag " + std::to_string(tag) + " not expected");
        }
    }
}

} // namespace

IndependentFrame readIndependently(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (bytes.size() < 20 || bytes.compare(bytes.size() - 8, 8, "KORA2FLX") != 0) {
        throw std::runtime_error(path + " has no trailer");
    }
    IndependentFrame frame;
    Cursor trailer{bytes, bytes.size() - 20};
    const int64_t dataOffset = trailer.i64();
    if (trailer.i32() != 4) {
        throw std::runtime_error("not a version 4 file");
    }
    Cursor chunks{bytes, size_t(dataOffset)};
    readChunks(chunks, frame);
    Cursor header{bytes, 0};
    std::string table;
    readHeader(header, frame, table);
    const size_t voxels =
        size_t(frame.gridSize[0]) * size_t(frame.gridSize[1]) * size_t(frame.gridSize[2]);
    Cursor records{table, 0};
    while (table.size() - records.at >= 8) {
        const int32_t channel = records.i32();
        const std::string payload = records.take(size_t(records.i32()) * 4);
        const std::vector<float> values =
            decodeGridStream(std::vector<uint8_t>(payload.begin(), payload.end()), voxels);
        if (values.size() != voxels) {
            throw std::runtime_error("channel " + std::to_string(channel) + " has " +
                                     std::to_string(values.size()) + " values");
        }
        frame.channels.emplace(channel, values);
    }
    return frame;
}

} // namespace kortest
