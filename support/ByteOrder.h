// SPDX-License-Identifier: Apache-2.0
// Little-endian loads and stores through memcpy: file bytes are never cast or punned,
// and no load assumes alignment.
#pragma once

#include <cstdint>
#include <cstring>

inline uint16_t readLE16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline uint32_t readLE32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
           (uint32_t(bytes[3]) << 24);
}

inline uint64_t readLE64(const uint8_t* bytes) {
    return uint64_t(readLE32(bytes)) | (uint64_t(readLE32(bytes + 4)) << 32);
}

inline float readF32(const uint8_t* bytes) {
    const uint32_t bits = readLE32(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void writeLE16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void writeLE32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline void writeLE64(uint8_t* bytes, uint64_t value) {
    writeLE32(bytes, static_cast<uint32_t>(value));
    writeLE32(bytes + 4, static_cast<uint32_t>(value >> 32));
}

inline void writeF32(uint8_t* bytes, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    writeLE32(bytes, bits);
}
