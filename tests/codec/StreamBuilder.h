// SPDX-License-Identifier: Apache-2.0
// Builds codec streams by hand for the tests, independently of the library's writer, so
// that the decoder and the encoder cannot share a bug unseen.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kortest {

// Bytes from "01 FC 02 ..." hex text.
std::vector<uint8_t> hexBytes(const std::string& text);

class StreamBuilder {
public:
    StreamBuilder& u8(uint32_t value);
    StreamBuilder& u16(uint32_t value);
    StreamBuilder& u32(uint32_t value);
    StreamBuilder& f32(float value);
    StreamBuilder& bytes(const std::vector<uint8_t>& more);
    // LSB-first bits; the first call after byte fields starts on a byte boundary.
    StreamBuilder& bits(uint64_t value, int count);
    // Pads the bit field with zeros to a whole byte.
    StreamBuilder& alignByte();

    std::vector<uint8_t> data;

private:
    int bitPosition = 0; // 0 = byte aligned
};

// A coder stream header in table form: entries as (frequency, symbol); a frequency equal
// to the previous one is stored with flag 0.
struct TableEntry {
    uint32_t frequency;
    uint32_t symbol;
};
void writeTableHeader(StreamBuilder& out, int32_t bias, uint32_t frequencyBits, uint32_t symbolBits,
                      const std::vector<TableEntry>& entries);

// The single-block header of a coded stream (magic, method 2, extents, scale, offset,
// base, passes).
void writeCodedHeader(StreamBuilder& out, const std::vector<uint32_t>& extents, float scale,
                      float offset, int32_t base, uint32_t passes);

} // namespace kortest
