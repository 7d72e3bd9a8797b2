// SPDX-License-Identifier: Apache-2.0
// IEEE-754 binary16 to binary32. Every half is exactly representable as a float, so the
// conversion is exact, subnormals, infinities and NaN payloads included.
#pragma once

#include <cstdint>
#include <cstring>

inline float halfToFloat(uint16_t half) {
    const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1Fu;
    const uint32_t mantissa = half & 0x3FFu;
    uint32_t bits = sign;
    if (exponent == 0x1F) {
        bits |= 0x7F800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits |= ((exponent + 127 - 15) << 23) | (mantissa << 13);
    } else if (mantissa != 0) {
        // Subnormal half: mantissa * 2^-24, which a float holds as a normal number.
        const float magnitude = static_cast<float>(mantissa) * 5.9604644775390625e-8f;
        return sign != 0 ? -magnitude : magnitude;
    }
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
