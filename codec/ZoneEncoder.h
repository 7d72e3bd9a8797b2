// SPDX-License-Identifier: Apache-2.0
// Encodes a large grid as a zone container of z-slabs, so that it decodes in parallel and
// its runs stay short enough for the table form. The slabs are encoded by the
// compressor's zone jobs, in parallel when a thread manager is current.
#pragma once

#include "codec/SGCompressor.h"

#include <cstdint>

/// Where compressZones delivers a stream, so that a caller can take it without a copy.
class ZoneSink {
public:
    /// Writable room for a container of bytes, or null when there is none.
    virtual uint8_t* Room(uint64_t bytes) = 0;
    /// Takes a single block, which stays in compressor's output. False when it cannot.
    virtual bool Take(const uint8_t* stream, uint64_t bytes) = 0;

protected:
    ~ZoneSink() = default;
};

/// Encodes data (extents[0] * extents[1] * extents[2] floats) as a 0xFC02 container of
/// slabCount z-slabs (0: a default from the grid size and the thread count), each a block
/// as Compress (bits, step, passes) writes it, and hands it to sink. A grid of one slab is
/// a single block. Returns the stream size in bytes, 0 on failure.
uint64_t compressZones(SGCompressor<3>& compressor, const float* data, const int32_t* extents,
                       int bits, float step, int passes, ZoneSink& sink, int slabCount = 0);
/// The same, into compressor's output.
uint64_t compressZones(SGCompressor<3>& compressor, const float* data, const int32_t* extents,
                       int bits, float step, int passes, int slabCount = 0);

/// The slab count compressZones picks for a grid of nz planes of planeElements each.
int defaultSlabCount(uint64_t planeElements, int32_t nz, int threads);
