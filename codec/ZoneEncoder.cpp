// SPDX-License-Identifier: Apache-2.0
#include "codec/ZoneEncoder.h"

#include "codec/StreamFormat.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"

#include <algorithm>
#include <cstring>

namespace {

// Slabs of at most 4 Mi elements keep every run far below the table form's symbol bound
// and give the decoder's jobs pieces of a few milliseconds.
constexpr uint64_t SlabElements = uint64_t(1) << 22;
// Below this a grid decodes faster than its jobs start.
constexpr uint64_t ParallelElements = uint64_t(1) << 16;

// Slab i covers planes [first, first + count).
struct Slab {
    int32_t first;
    int32_t count;
};

Slab slabOf(int32_t nz, int slabs, int index) {
    const int64_t begin = int64_t(nz) * index / slabs;
    const int64_t end = int64_t(nz) * (index + 1) / slabs;
    return {static_cast<int32_t>(begin), static_cast<int32_t>(end - begin)};
}

// The encoded slabs, back to back, and where each starts.
struct Staging {
    iArray<uint8_t, int64_t> bytes;
    iArray<int64_t> starts;
    bool failed = false;

    void Add(const uint8_t* stream, uint64_t size) {
        const int64_t at = bytes.Count();
        if (failed || size == 0 || !starts.Append(at) ||
            !bytes.SetSize(at + static_cast<int64_t>(size))) {
            failed = true;
            return;
        }
        std::memcpy(bytes.Data() + at, stream, size);
    }
};

} // namespace

int defaultSlabCount(uint64_t planeElements, int32_t nz, int threads) {
    if (nz <= 1) {
        return 1;
    }
    const uint64_t elements = planeElements * uint64_t(nz);
    uint64_t slabs = (elements + SlabElements - 1) / SlabElements;
    if (elements >= ParallelElements) {
        slabs = std::max<uint64_t>(slabs, static_cast<uint64_t>(std::max(1, threads)));
    }
    return static_cast<int>(std::min<uint64_t>({slabs, uint64_t(nz), 65535}));
}

uint64_t compressZones(SGCompressor<3>& compressor, const float* data, const int32_t* extents,
                       int bits, float step, int passes, int slabCount) {
    if (extents[0] <= 0 || extents[1] <= 0 || extents[2] <= 0) {
        return compressor.Compress(data, extents, bits, step, passes);
    }
    const uint64_t plane = uint64_t(extents[0]) * uint64_t(extents[1]);
    const int threads = std::max(1, compressor.GetDefaultThreadCount());
    int slabs = slabCount > 0 ? slabCount : defaultSlabCount(plane, extents[2], threads);
    slabs = std::min({slabs, extents[2], 65535});
    // Output offsets are signed 32-bit element indices.
    if (slabs <= 1 || plane * uint64_t(extents[2]) > uint64_t(INT32_MAX)) {
        return compressor.Compress(data, extents, bits, step, passes);
    }

    Staging staging;
    const int jobs = std::min(slabs, compressor.ConcurrentJobs());
    if (compressor.firstJob == nullptr || compressor.jobCount != jobs) {
        compressor.Init(jobs);
    }
    if (compressor.threadManager != nullptr && compressor.jobCount == jobs && jobs > 1) {
        for (int first = 0; first < slabs && !staging.failed; first += jobs) {
            int index = first;
            for (Job* job = compressor.firstJob; job != nullptr; job = job->next, ++index) {
                auto* const zone = static_cast<SGCompressor<3>::Zone*>(job);
                const Slab slab = slabOf(extents[2], slabs, std::min(index, slabs - 1));
                // Surplus jobs of the last round encode nothing.
                zone->extents[0] = extents[0];
                zone->extents[1] = extents[1];
                zone->extents[2] = index < slabs ? slab.count : 0;
                zone->destination = const_cast<float*>(data) + plane * uint64_t(slab.first);
                zone->bits = bits;
                zone->step = step;
                zone->passes = passes;
            }
            compressor.Run(0);
            index = first;
            for (Job* job = compressor.firstJob; job != nullptr && index < slabs;
                 job = job->next, ++index) {
                auto* const zone = static_cast<SGCompressor<3>::Zone*>(job);
                staging.failed = staging.failed || zone->result == 0;
                staging.Add(zone->compressor.OutputData(), zone->result);
            }
        }
    } else {
        SGCompressor<3> slabCompressor;
        for (int index = 0; index < slabs && !staging.failed; ++index) {
            const Slab slab = slabOf(extents[2], slabs, index);
            const int32_t slabExtents[3] = {extents[0], extents[1], slab.count};
            const uint64_t size = slabCompressor.Compress(data + plane * uint64_t(slab.first),
                                                          slabExtents, bits, step, passes);
            staging.failed = staging.failed || size == 0;
            staging.Add(slabCompressor.OutputData(), size);
        }
    }
    if (staging.failed || staging.bytes.Count() > INT32_MAX) {
        logMessage("compressZones: the slabs could not be encoded\n");
        return 0;
    }

    // Magic, zone count, output offsets (elements), input offsets (bytes after the tables).
    uint8_t word[4];
    compressor.ClearOutput();
    writeLE16(word, StreamFormat::StreamMagicZones);
    writeLE16(word + 2, static_cast<uint16_t>(slabs));
    compressor.AppendOutput(word, 4);
    for (int index = 0; index < slabs; ++index) {
        writeLE32(word,
                  static_cast<uint32_t>(plane * uint64_t(slabOf(extents[2], slabs, index).first)));
        compressor.AppendOutput(word, 4);
    }
    for (int index = 0; index < slabs; ++index) {
        writeLE32(word, static_cast<uint32_t>(staging.starts[index]));
        compressor.AppendOutput(word, 4);
    }
    compressor.AppendOutput(staging.bytes.Data(), static_cast<uint64_t>(staging.bytes.Count()));
    return compressor.OutputComplete() ? compressor.OutputBytes() : 0;
}
