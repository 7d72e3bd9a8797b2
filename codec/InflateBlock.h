// SPDX-License-Identifier: Apache-2.0
// Inflates one zlib-wrapped block (RFC 1950) of known inflated size, for the channels that
// are stored with zlib instead of the codec.
#pragma once

#include <cstdint>

/// Inflates compressedBytes bytes at compressed into output, which holds outputBytes
/// bytes (the exact inflated size or more). Returns 1 when the whole stream was inflated,
/// 0 otherwise (logged with zlib's code); output may then be partly written.
int inflateBlock(const uint8_t* compressed, uint32_t compressedBytes, uint8_t* output,
                 uint32_t outputBytes);
