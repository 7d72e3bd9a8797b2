// SPDX-License-Identifier: Apache-2.0
// The codec object that owners keep per channel: it decodes single blocks and zone
// containers (zones run as jobs when a thread manager is current) and encodes blocks.
// N is the number of axes: 3 for voxel grids, 1 for linear arrays such as particle
// channels.
#pragma once

#include "codec/EntropyCoder.h"
#include "codec/ZoneLayout.h"
#include "jobs/MTJobs.h"
#include "support/iArray.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

// Fields:
//   cursor      memory mode: the next byte of the stream being decoded
//   workArray   the integer grid of Compress, workElements long; kept between calls, so
//               that a compressor encoding slab after slab faults its pages in once
//   coder       the bit coder of Compress; kept for the same reason (its tables are not)
//   sourceFile  file mode: the stream being decoded
//   output      the stream the last Compress wrote
//   outputFailed  the output could not grow during the last Compress
//   pendingBlocks, pendingBlockCount, pendingOutput, nextPendingBlock
//               the container being decoded by the jobs, and the next block to take
// One object must not run two decodes at once: its jobs and cursor are shared.
template <int N>
class SGCompressor : public MTJobs {
    static_assert(N == 1 || N == 3, "one axis or three");

public:
    class Zone;

    SGCompressor();
    ~SGCompressor() override;

    /// Decodes one stream into output. source is the stream's first byte, or with fromFile
    /// a FILE* positioned there. At most sourceBytes bytes are read. Returns 1 when the
    /// stream was decoded: all outputCapacity floats are then written, with 0 wherever
    /// the stream states no value (a zone container returns 1 whatever its zones do, and
    /// a zone that fails is zeroed). Returns 0 when the stream is refused: unknown magic
    /// or method, malformed, more elements than outputCapacity, past the end of its input,
    /// or not enough memory. Zone containers need a memory source.
    int Decompress(const void* source, float* output, bool fromFile, uint64_t sourceBytes,
                   uint64_t outputCapacity);

    /// The floats that the memory stream at source states it writes, read without
    /// decoding: a single block's element count, or the end of a zone container's furthest
    /// zone. Streams, or zones, that would not fit capacity floats count as none, so a
    /// result equal to capacity means the stream claims the whole room.
    static uint64_t StatedElements(const void* source, uint64_t sourceBytes, uint64_t capacity);

    /// Encodes data (extents[0] * ... * extents[N - 1] floats, axis 0 fastest) as one
    /// single-block stream into the output. bits >= 20 stores raw floats, 1..19 quantises
    /// over the data range, <= 0 quantises with 1 / step. passes is 0..255. Returns the
    /// stream size in bytes, 0 on failure (the output then holds no stream).
    uint64_t Compress(const float* data, const int32_t* extents, int bits, float step, int passes);

    // Takes blocks of the container being decoded until none is left.
    void JobProc(Job* job) override;
    const char* GetName() const override;
    Job* CreateJob() override;
    // Appends length bytes to the output; null bytes change nothing.
    virtual void AppendOutput(const void* bytes, uint64_t length);

    // Empties the output and makes it bytes long, for a writer to fill; null when it cannot
    // grow.
    uint8_t* OutputRoom(uint64_t bytes) {
        output.SetSize(0);
        outputFailed = false;
        if (bytes > uint64_t(INT64_MAX) || !output.SetSize(static_cast<int64_t>(bytes))) {
            outputFailed = true;
            return nullptr;
        }
        return output.Data();
    }
    const uint8_t* OutputData() const { return output.Data(); }
    uint64_t OutputBytes() const { return static_cast<uint64_t>(output.Count()); }

private:
    void DecodeZones(const ZoneBlock* blocks, uint64_t blockCount, float* outputFloats);
    bool AppendRaw(const float* data, uint64_t elements);
    uint64_t FinishCompress(uint64_t bytes);
    bool ReserveWork(uint64_t elements);

    // A container decode in progress: its jobs take zones from here until none are left.
    const ZoneBlock* pendingBlocks = nullptr;
    uint64_t pendingBlockCount = 0;
    float* pendingOutput = nullptr;
    std::atomic<uint64_t> nextPendingBlock{0};

    const uint8_t* cursor = nullptr;
    int32_t* workArray = nullptr;
    uint64_t workElements = 0;
    EntropyCoder coder;
    FILE* sourceFile = nullptr;
    iArray<uint8_t, int64_t> output;
    bool outputFailed = false;
};

// A job of the set: each encodes slabs with its own compressor, whose jobs are never used.
template <int N>
class SGCompressor<N>::Zone : public Job {
public:
    SGCompressor<N> compressor;
};

extern template class SGCompressor<1>;
extern template class SGCompressor<3>;
