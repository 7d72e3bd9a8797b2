// SPDX-License-Identifier: Apache-2.0
// A test-side writer of "kor" bytes, independent of the library's writer, so that reader
// and writer cannot share a misreading of the format unseen.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kortest {

class KorBytes {
public:
    KorBytes& i32(int32_t value) { return little(static_cast<uint32_t>(value), 4); }
    KorBytes& u32(uint32_t value) { return little(value, 4); }
    KorBytes& i64(int64_t value) { return little(static_cast<uint64_t>(value), 8); }
    KorBytes& u16(uint16_t value) { return little(value, 2); }
    KorBytes& u8(uint8_t value) { return little(value, 1); }
    KorBytes& f32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return u32(bits);
    }
    KorBytes& f64(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, 8);
        return little(bits, 8);
    }
    KorBytes& floats(const std::vector<float>& values) {
        for (const float value : values) {
            f32(value);
        }
        return *this;
    }
    KorBytes& raw(const std::string& bytes) {
        data += bytes;
        return *this;
    }
    // An int32 byte count, then the bytes.
    KorBytes& str(const std::string& text) {
        i32(static_cast<int32_t>(text.size()));
        return raw(text);
    }
    const std::string& bytes() const { return data; }
    size_t size() const { return data.size(); }

private:
    KorBytes& little(uint64_t value, int byteCount) {
        for (int i = 0; i < byteCount; ++i) {
            data += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        return *this;
    }
    std::string data;
};

// Single-block codec streams that need no entropy coding.
inline std::string constantStream(uint32_t count, float value) {
    return KorBytes().u16(0xFC01).u8(1).u32(count).f32(value).bytes();
}

inline std::string rawStream(const std::vector<float>& values) {
    return KorBytes()
        .u16(0xFC01)
        .u8(0)
        .u32(static_cast<uint32_t>(values.size()))
        .floats(values)
        .bytes();
}

// One record of the grid record table: channel, payload words, payload padded to words.
inline std::string gridRecord(int32_t channel, std::string payload) {
    payload.resize((payload.size() + 3) / 4 * 4, '\0');
    return KorBytes()
        .i32(channel)
        .i32(static_cast<int32_t>(payload.size() / 4))
        .raw(payload)
        .bytes();
}

// Header record 3: grid size, then the record table.
inline std::string gridTag(int32_t gx, int32_t gy, int32_t gz, const std::string& table) {
    return KorBytes()
        .i32(3)
        .i32(gx)
        .i32(gy)
        .i32(gz)
        .i32(static_cast<int32_t>(table.size() / 4))
        .raw(table)
        .bytes();
}

// "KORA", the records, tag 0.
inline std::string korHeader(const std::string& records) {
    return KorBytes().raw("KORA").raw(records).i32(0).bytes();
}

// One chunk; version 4 and up use 64-bit sizes.
inline std::string korChunk(int32_t id, const std::string& body, int32_t version = 4) {
    KorBytes chunk;
    chunk.i32(id);
    if (version >= 4) {
        chunk.i64(static_cast<int64_t>(body.size()));
    } else {
        chunk.i32(static_cast<int32_t>(body.size()));
    }
    return chunk.raw(body).bytes();
}

// A particle summary body: groups (name, count, mask, flags), then the bounds. The int32
// that follows the body outside its size comes with it.
struct SummaryGroup {
    std::string name;
    int32_t count;
    int32_t mask;
    int32_t flags;
};

inline std::string summaryChunk(const std::vector<SummaryGroup>& groups,
                                const std::vector<float>& bounds, int32_t version = 4) {
    KorBytes body;
    body.i32(static_cast<int32_t>(groups.size()));
    for (const SummaryGroup& group : groups) {
        body.str(group.name).i32(group.count).i32(group.mask).i32(group.flags);
    }
    body.floats(bounds);
    return korChunk(1000, body.bytes(), version) + KorBytes().i32(100000).bytes();
}

// Header, chunk list from the header's end, trailer of the given version.
inline std::string korFile(const std::string& header, const std::string& chunks,
                           int32_t version = 4) {
    KorBytes file;
    file.raw(header).i32(13).raw(chunks).i32(9999999);
    if (version >= 4) {
        file.i64(static_cast<int64_t>(header.size()));
    } else {
        file.i32(static_cast<int32_t>(header.size()));
    }
    return file.i32(version).raw("KORA2FLX").bytes();
}

} // namespace kortest
