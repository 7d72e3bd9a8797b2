// SPDX-License-Identifier: Apache-2.0
// Decodes the body of one single-block stream (everything after its magic) into floats.
// Coded blocks never hold the whole integer grid: items are decoded, integrated and
// dequantised one line span at a time, straight into the caller's array.
#pragma once

#include "codec/ByteSource.h"

#include <cstdint>

/// Decodes the block at source (its method byte first) for data with axes (1 or 3) axes
/// into output, which holds outputCapacity floats. Returns 1 when decoded: every one of
/// the outputCapacity floats is then written, those past the block's elements with 0.
/// Returns 0 when the method is unknown, the block is malformed or states more elements
/// than the capacity, or memory runs out; output may then be partly written.
int decodeSingleBlock(ByteSource& source, int axes, float* output, uint64_t outputCapacity);

/// The number of elements that the block at source (its method byte first) states, read
/// without decoding it. False when the method is unknown, the header is cut short, or the
/// block states more than limit elements (logged).
bool readBlockElements(ByteSource source, int axes, uint64_t limit, uint64_t& elements);
