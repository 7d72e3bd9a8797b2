// SPDX-License-Identifier: Apache-2.0
// Test-side encoders for the five particle storage methods, the identifier stream and the
// particle payloads of a "kor" file. They share nothing with the library's writer, so a
// misreading of the format cannot hide in both.
#pragma once

#include "frame/FluxaFrameData.h"
#include "tests/cachefile/KorBytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kortest {

// Method 0: the values' little-endian bytes.
std::string floatBytes(const std::vector<float>& values);
std::string int64Bytes(const std::vector<int64_t>& values);
// Method 1: a zlib stream of the bytes.
std::string zlibBytes(const std::string& bytes);
// Method 2: one raw codec block of the interleaved values.
std::string codecBytes(const std::vector<float>& values);
// Method 3: one raw codec block of the values reordered component by component.
std::string componentMajorBytes(const std::vector<float>& values, int components);
// Method 4: zlib of the bit planes of `words` 32-bit words per particle.
std::string bitPlaneBytes(const std::string& bytes, int words);
// A fixed-width (32-bit) coder stream of each delta's low and high words.
std::string identifierStream(const std::vector<int64_t>& deltas);

// Chunk 1002.
struct StoredChannel {
    int32_t channel;
    int32_t method;
    std::string bytes;
};
struct ChunkGroup {
    std::string name;
    int32_t flags;
    int32_t count;
    int64_t extra;
    std::vector<StoredChannel> channels;
};
std::string particleChunkBody(const std::vector<ChunkGroup>& groups);

// A legacy particle section (header tag 7 or 13). Each channel's bytes are appended to
// the shared buffer, padded to words; subRecords follow the offsets, before the end tag.
struct LegacyChannel {
    int32_t channel;
    std::string bytes;
};
struct LegacyGroup {
    std::string name;
    int32_t count;
    std::vector<LegacyChannel> channels;
    std::string subRecords;
};
std::string legacySection(int32_t tag, const std::vector<LegacyGroup>& groups);

// A whole file: the header records after "KORA", and the chunks (none: no trailer).
std::string particleFile(const std::string& records, const std::string& chunks);
std::string particleFileWithoutTrailer(const std::string& records);

// Reads bytes through a temporary file; the log of the read is returned in log.
int readParticleBytes(FluxaFrameData& frame, const std::string& bytes, std::string* log = nullptr,
                      bool headerOnly = false);

// Gives frame one group per entry of counts, each bound to the frame and named g<index>.
void giveGroups(FluxaFrameData& frame, const std::vector<int32_t>& counts);
// Stores bytes as channel's stored form, to be decoded with method.
void storeChannel(FluxaFrameData::PGroup& group, int channel, uint32_t method,
                  const std::string& bytes);
// A channel's decoded values read back particle by particle through getValue.
std::string valuesOf(FluxaFrameData::PGroup& group, int channel);

// n positions with distinct, exactly representable values.
std::vector<float> samplePositions(int count);

} // namespace kortest
