// SPDX-License-Identifier: Apache-2.0
#include "codec/ZoneEncoder.h"

#include "codec/StreamFormat.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

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

// The encoded slabs of one job, back to back.
struct Staging {
    iArray<uint8_t, int64_t> bytes;
    bool failed = false;
};

// Where slab i's stream went, and where it goes in the container's body.
struct Placement {
    const Staging* staging;
    int64_t start;
    uint64_t size;
    uint64_t offset;
};

// The slabs of one container. Jobs take the next slab as they finish one, so a thread
// that drew light slabs takes more of them and the threads end together; every slab is
// encoded alone, so the bytes do not depend on which job took it.
class SlabEncoder {
public:
    struct Grid {
        const float* data;
        const int32_t* extents;
        int bits;
        float step;
        int passes;
        int slabs;
    };
    explicit SlabEncoder(const Grid& slabbed) : grid(slabbed) {}
    ~SlabEncoder() {
        delete[] stagings;
        delete[] placements;
    }
    SlabEncoder(const SlabEncoder&) = delete;
    SlabEncoder& operator=(const SlabEncoder&) = delete;

    // Room for the slabs of stagingCount jobs.
    bool Prepare(int stagingCount) {
        stagings = new (std::nothrow) Staging[static_cast<size_t>(stagingCount)];
        placements = new (std::nothrow) Placement[static_cast<size_t>(grid.slabs)];
        return stagings != nullptr && placements != nullptr;
    }
    void EncodeSlabs(Job* job) {
        EncodeWith(static_cast<SGCompressor<3>::Zone*>(job)->compressor, stagings[job->index]);
    }
    // Without jobs: every slab on the calling thread.
    void EncodeAlone(SGCompressor<3>& compressor) { EncodeWith(compressor, stagings[0]); }
    // True when a slab is missing: a job ran out of memory, or the jobs never ran.
    bool Failed(int stagingCount) const {
        bool failed = nextSlab.load() < grid.slabs;
        for (int job = 0; job < stagingCount; ++job) {
            failed = failed || stagings[job].failed;
        }
        return failed;
    }
    const Placement& PlacementOf(int slab) const { return placements[slab]; }
    // Lays the slabs out back to back in body.
    void LayOut(uint8_t* containerBody) {
        body = containerBody;
        uint64_t offset = 0;
        for (int index = 0; index < grid.slabs; ++index) {
            placements[index].offset = offset;
            offset += placements[index].size;
        }
    }
    // Copies slabs to the body as EncodeSlabs encodes them: the next one not yet taken.
    void CopySlabs(Job*) {
        for (int index = nextCopy.fetch_add(1); index < grid.slabs; index = nextCopy.fetch_add(1)) {
            const Placement& placement = placements[index];
            std::memcpy(body + placement.offset, placement.staging->bytes.Data() + placement.start,
                        placement.size);
        }
    }

private:
    void EncodeWith(SGCompressor<3>& compressor, Staging& staging) {
        const int32_t* const extents = grid.extents;
        const uint64_t plane = uint64_t(extents[0]) * uint64_t(extents[1]);
        for (int index = nextSlab.fetch_add(1); index < grid.slabs; index = nextSlab.fetch_add(1)) {
            const Slab slab = slabOf(extents[2], grid.slabs, index);
            const int32_t slabExtents[3] = {extents[0], extents[1], slab.count};
            const uint64_t size =
                compressor.Compress(grid.data + plane * uint64_t(slab.first), slabExtents,
                                    grid.bits, grid.step, grid.passes);
            const int64_t at = staging.bytes.Count();
            if (size == 0 || !staging.bytes.SetSize(at + static_cast<int64_t>(size))) {
                staging.failed = true;
                return;
            }
            std::memcpy(staging.bytes.Data() + at, compressor.OutputData(), size);
            placements[index] = {&staging, at, size, 0};
        }
    }

    const Grid grid;
    std::atomic<int> nextSlab{0};
    std::atomic<int> nextCopy{0};
    uint8_t* body = nullptr;
    Staging* stagings = nullptr;
    Placement* placements = nullptr;
};

// The compressor's own output, where single blocks already are.
class CompressorOutput final : public ZoneSink {
public:
    explicit CompressorOutput(SGCompressor<3>& owner) : compressor(owner) {}
    uint8_t* Room(uint64_t bytes) override { return compressor.OutputRoom(bytes); }
    bool Take(const uint8_t*, uint64_t) override { return true; }

private:
    SGCompressor<3>& compressor;
};

uint64_t compressBlock(SGCompressor<3>& compressor, const float* data, const int32_t* extents,
                       int bits, float step, int passes, ZoneSink& sink) {
    const uint64_t bytes = compressor.Compress(data, extents, bits, step, passes);
    return bytes != 0 && sink.Take(compressor.OutputData(), bytes) ? bytes : 0;
}

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
    CompressorOutput sink(compressor);
    return compressZones(compressor, data, extents, bits, step, passes, sink, slabCount);
}

uint64_t compressZones(SGCompressor<3>& compressor, const float* data, const int32_t* extents,
                       int bits, float step, int passes, ZoneSink& sink, int slabCount) {
    if (extents[0] <= 0 || extents[1] <= 0 || extents[2] <= 0) {
        return compressBlock(compressor, data, extents, bits, step, passes, sink);
    }
    const uint64_t plane = uint64_t(extents[0]) * uint64_t(extents[1]);
    const int threads = std::max(1, compressor.GetDefaultThreadCount());
    int slabs = slabCount > 0 ? slabCount : defaultSlabCount(plane, extents[2], threads);
    slabs = std::min({slabs, extents[2], 65535});
    // Output offsets are signed 32-bit element indices.
    if (slabs <= 1 || plane * uint64_t(extents[2]) > uint64_t(INT32_MAX)) {
        return compressBlock(compressor, data, extents, bits, step, passes, sink);
    }

    int jobs = std::min(slabs, compressor.ConcurrentJobs());
    if (compressor.firstJob == nullptr || compressor.jobCount != jobs) {
        compressor.Init(jobs);
    }
    jobs = compressor.jobCount;
    const int stagingCount = std::max(jobs, 1);
    SlabEncoder encoder({data, extents, bits, step, passes, slabs});
    if (!encoder.Prepare(stagingCount)) {
        logMessage("compressZones: the slabs could not be encoded\n");
        return 0;
    }
    if (jobs > 0) {
        compressor.RunProc(&encoder, &SlabEncoder::EncodeSlabs);
    } else {
        SGCompressor<3> alone;
        encoder.EncodeAlone(alone);
    }
    uint64_t total = 0;
    for (int index = 0; index < slabs && !encoder.Failed(stagingCount); ++index) {
        total += encoder.PlacementOf(index).size;
    }
    if (encoder.Failed(stagingCount) || total > INT32_MAX) {
        logMessage("compressZones: the slabs could not be encoded\n");
        return 0;
    }

    // Magic, zone count, output offsets (elements), input offsets (bytes after the tables).
    const uint64_t tableBytes = 4 + uint64_t(slabs) * 8;
    uint8_t* const room = sink.Room(tableBytes + total);
    if (room == nullptr) {
        logMessage("compressZones: no room for the container\n");
        return 0;
    }
    writeLE16(room, StreamFormat::StreamMagicZones);
    writeLE16(room + 2, static_cast<uint16_t>(slabs));
    uint8_t* next = room + 4;
    for (int index = 0; index < slabs; ++index, next += 4) {
        writeLE32(next,
                  static_cast<uint32_t>(plane * uint64_t(slabOf(extents[2], slabs, index).first)));
    }
    encoder.LayOut(next + uint64_t(slabs) * 4);
    for (int index = 0; index < slabs; ++index, next += 4) {
        writeLE32(next, static_cast<uint32_t>(encoder.PlacementOf(index).offset));
    }
    // The copy is a tenth of the work; on one thread it would hold the others up.
    if (jobs > 0) {
        compressor.RunProc(&encoder, &SlabEncoder::CopySlabs);
    } else {
        encoder.CopySlabs(nullptr);
    }
    return tableBytes + total;
}
