// SPDX-License-Identifier: Apache-2.0
// Decodes the body of one single-block stream (everything after its magic) into floats.
// Coded blocks never hold the whole integer grid: items are decoded, integrated and
// dequantised one line span at a time, straight into the caller's array.
#pragma once

#include "codec/ByteSource.h"

#include <cstdint>

/// Decodes the block at source for data with axes (1 or 3) axes into output, which holds
/// outputCapacity floats. Returns 1 when decoded, 0 when the method is unknown, the block
/// is malformed or states more elements than the capacity, or memory runs out.
int decodeSingleBlock(ByteSource& source, int axes, float* output, uint64_t outputCapacity);
