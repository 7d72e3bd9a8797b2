// SPDX-License-Identifier: Apache-2.0
// Inflates one zlib-wrapped block (RFC 1950) of known inflated size, for the channels that
// are stored with zlib instead of the codec. Sizes are 64-bit: zlib counts in 32 bits, so
// larger blocks go through it in pieces.
#pragma once

#include <cstdint>

/// Inflates compressedBytes bytes at compressed into output, which holds outputBytes
/// bytes (the exact inflated size or more). Returns 1 when the whole stream was inflated,
/// 0 otherwise (logged with zlib's code); output may then be partly written. When
/// producedBytes is not null it receives the number of bytes written.
int inflateBlock(const uint8_t* compressed, uint64_t compressedBytes, uint8_t* output,
                 uint64_t outputBytes, uint64_t* producedBytes = nullptr);

/// The most bytes that compressedBytes bytes of zlib data can inflate to: deflate's
/// longest match, 258 bytes, costs at least two bits. Checked before a caller allocates
/// room for what a short stream claims to hold.
constexpr uint64_t maxInflatedBytes(uint64_t compressedBytes) {
    return compressedBytes > UINT64_MAX / 1032 ? UINT64_MAX : compressedBytes * 1032;
}
