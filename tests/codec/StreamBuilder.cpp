// SPDX-License-Identifier: Apache-2.0
#include "StreamBuilder.h"

#include <sstream>

namespace kortest {

std::vector<uint8_t> hexBytes(const std::string& text) {
    std::istringstream in(text);
    std::vector<uint8_t> out;
    std::string token;
    while (in >> token) {
        out.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
    }
    return out;
}

StreamBuilder& StreamBuilder::u8(uint32_t value) {
    alignByte();
    data.push_back(static_cast<uint8_t>(value));
    return *this;
}

StreamBuilder& StreamBuilder::u16(uint32_t value) {
    return u8(value & 0xFF).u8(value >> 8);
}

StreamBuilder& StreamBuilder::u32(uint32_t value) {
    return u16(value & 0xFFFF).u16(value >> 16);
}

StreamBuilder& StreamBuilder::f32(float value) {
    uint32_t bitsOf;
    std::memcpy(&bitsOf, &value, 4);
    return u32(bitsOf);
}

StreamBuilder& StreamBuilder::bytes(const std::vector<uint8_t>& more) {
    alignByte();
    data.insert(data.end(), more.begin(), more.end());
    return *this;
}

StreamBuilder& StreamBuilder::bits(uint64_t value, int count) {
    for (int i = 0; i < count; ++i) {
        if (bitPosition == 0) {
            data.push_back(0);
        }
        const uint64_t bit = i < 64 ? (value >> i) & 1 : 0;
        data.back() = static_cast<uint8_t>(data.back() | (bit << bitPosition));
        bitPosition = (bitPosition + 1) % 8;
    }
    return *this;
}

StreamBuilder& StreamBuilder::alignByte() {
    bitPosition = 0;
    return *this;
}

void writeTableHeader(StreamBuilder& out, int32_t bias, uint32_t frequencyBits, uint32_t symbolBits,
                      const std::vector<TableEntry>& entries) {
    out.bits(0, 8).bits(entries.size(), 32).bits(static_cast<uint32_t>(bias), 32);
    out.bits(frequencyBits, 6).bits(symbolBits, 6);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i == 0 || entries[i].frequency != entries[i - 1].frequency) {
            out.bits(1, 1).bits(entries[i].frequency, static_cast<int>(frequencyBits));
        } else {
            out.bits(0, 1);
        }
        out.bits(entries[i].symbol, static_cast<int>(symbolBits));
    }
}

void writeCodedHeader(StreamBuilder& out, const std::vector<uint32_t>& extents, float scale,
                      float offset, int32_t base, uint32_t passes) {
    out.u16(0xFC01).u8(2);
    for (uint32_t extent : extents) {
        out.u32(extent);
    }
    out.f32(scale).f32(offset).u32(static_cast<uint32_t>(base)).u8(passes);
}

} // namespace kortest
