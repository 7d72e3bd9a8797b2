// SPDX-License-Identifier: Apache-2.0
// Layout constants of the "kor" cache file, shared by the reader and the writer. All
// numbers are little-endian; a string is an int32 byte count followed by the bytes.
//   "KORA", tagged header records ending with tag 0      (the header)
//   int32 13, chunks (id, size, body), int32 9999999     (the chunk list, version 3 and up)
//   dataOffset, int32 version, "KORA2FLX"                (the trailer, last in the file)
#pragma once

#include <cstdint>

namespace KorFormat {

constexpr char HeaderMagic[4] = {'K', 'O', 'R', 'A'};
constexpr char TrailerMagic[8] = {'K', 'O', 'R', 'A', '2', 'F', 'L', 'X'};

// Trailer fields, counted back from the end of the file.
constexpr int64_t TrailerMagicFromEnd = 8;
constexpr int64_t TrailerVersionFromEnd = 12;
constexpr int64_t TrailerOffset64FromEnd = 20; // int64 dataOffset, version 4 and up
constexpr int64_t TrailerOffset32FromEnd = 16; // int32 dataOffset, below version 4

// Version 4 widened dataOffset and the chunk sizes to 64 bits; version 3 brought the
// chunks after the summary. Files written now carry VersionWideOffsets.
constexpr int32_t VersionChunkList = 3;
constexpr int32_t VersionWideOffsets = 4;

// The int32 at dataOffset that opens the chunk list, and the id that ends it (no size).
constexpr int32_t ChunkListStart = 13;
constexpr int32_t ChunkListEnd = 9999999;

enum ChunkId : int32_t {
    ChunkParticleSummary = 1000, // groups: name, count, channel mask, flags; particle bounds
    ChunkNote = 1001,            // one string
    ChunkParticleData = 1002,    // compressed particle channels of every group
    ChunkChannelRanges = 1003,   // int32 n; n times (int32 channel, float min, float max)
};

// Written after the body of the particle summary, outside its counted size.
constexpr int32_t ParticleSummaryTrailer = 100000;

enum HeaderTag : int32_t {
    TagEnd = 0,
    TagChannelMask = 1,      // u32; bit 31 is the backup flag
    TagTransform = 2,        // 12 floats
    TagGrid = 3,             // 3 x int32 grid size, int32 W, W record table words
    TagFrameNumber = 4,      // int32
    TagFloatB = 5,           // float
    TagExtraTransform = 6,   // 12 floats: the first extra transform
    TagRawParticles = 7,     // legacy particle section, raw channel data
    TagBlockDouble8 = 8,     // float, stored as a double at block byte 8
    TagFloatA = 9,           // float to block byte 348; float
    TagBlockDoubles = 10,    // doubles to block bytes 8 and 16
    TagExtraTransforms = 11, // 3 x 12 floats; 8 bytes to block byte 384
    TagHeaderBlock = 12,     // int32 S; S bytes, of which the first 392 fill the block
    TagCodedParticles = 13,  // legacy particle section, codec-compressed channel data
    TagLast = 13,            // any tag above ends the header like TagEnd
};

// Byte positions inside the opaque header block that the older tags fill one by one.
constexpr int HeaderBlockBytes = 392;
constexpr int BlockDouble8At = 8;
constexpr int BlockDouble16At = 16;
constexpr int BlockFloat348At = 348;
constexpr int BlockBytes384At = 384;

} // namespace KorFormat
