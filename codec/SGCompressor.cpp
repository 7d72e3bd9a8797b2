// SPDX-License-Identifier: Apache-2.0
#include "codec/SGCompressor.h"

#include "codec/BlockDecoder.h"
#include "codec/BlockEncoder.h"
#include "codec/EntropyCoder.h"
#include "codec/RunPacker.h"
#include "codec/StreamFormat.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t InitialOutputBytes = 100000;
// The first quantisation resolution stored as raw floats.
constexpr int RawBits = 20;
constexpr float ConstantTolerance = 1e-20f;

} // namespace

template <int N>
SGCompressor<N>::SGCompressor() : MTJobs(nullptr), output(0, 4) {}

template <int N>
SGCompressor<N>::~SGCompressor() {
    std::free(workArray);
}

template <int N>
const char* SGCompressor<N>::GetName() const {
    return "SGCompressor";
}

template <int N>
Job* SGCompressor<N>::CreateJob() {
    return new (std::nothrow) Zone();
}

template <int N>
void SGCompressor<N>::AppendOutput(const void* bytes, uint64_t length) {
    if (bytes == nullptr || length == 0) {
        return;
    }
    const int64_t at = output.Count();
    if (length > uint64_t(INT64_MAX - at) || !output.SetSize(at + static_cast<int64_t>(length))) {
        outputFailed = true;
        return;
    }
    std::memcpy(output.Data() + at, bytes, length);
}

template <int N>
void SGCompressor<N>::JobProc(Job*) {
    for (uint64_t i = nextPendingBlock.fetch_add(1); i < pendingBlockCount;
         i = nextPendingBlock.fetch_add(1)) {
        decodeZoneBlock(pendingBlocks[i], N, pendingOutput);
    }
}

template <int N>
uint64_t SGCompressor<N>::StatedElements(const void* source, uint64_t sourceBytes,
                                         uint64_t capacity) {
    ByteSource bytes = ByteSource::FromMemory(static_cast<const uint8_t*>(source), sourceBytes);
    uint8_t magicBytes[2];
    if (!bytes.Read(magicBytes, 2)) {
        return 0;
    }
    uint64_t elements = 0;
    if (readLE16(magicBytes) == StreamFormat::StreamMagicSingle) {
        return readBlockElements(bytes, N, capacity, elements) ? elements : 0;
    }
    ZoneLayout layout;
    if (readLE16(magicBytes) != StreamFormat::StreamMagicZones ||
        !layout.Read(bytes.Position(), bytes.Remaining(), N, capacity)) {
        return 0;
    }
    return layout.End();
}

template <int N>
int SGCompressor<N>::Decompress(const void* source, float* outputFloats, bool fromFile,
                                uint64_t sourceBytes, uint64_t outputCapacity) {
    sourceFile = fromFile ? static_cast<FILE*>(const_cast<void*>(source)) : nullptr;
    cursor = fromFile ? nullptr : static_cast<const uint8_t*>(source);
    ByteSource bytes = fromFile ? ByteSource::FromFile(sourceFile, sourceBytes)
                                : ByteSource::FromMemory(cursor, sourceBytes);
    uint8_t magicBytes[2];
    if (!bytes.Read(magicBytes, 2)) {
        return 0;
    }
    const uint16_t magic = readLE16(magicBytes);
    if (magic == StreamFormat::StreamMagicSingle) {
        return decodeSingleBlock(bytes, N, outputFloats, outputCapacity);
    }
    if (magic != StreamFormat::StreamMagicZones) {
        return 0;
    }
    if (fromFile) {
        logMessage("Codec stream refused: zone container read from a file\n");
        return 0;
    }
    ZoneLayout layout;
    if (!layout.Read(bytes.Position(), bytes.Remaining(), N, outputCapacity)) {
        return 0;
    }
    layout.ZeroUncovered(outputFloats);
    DecodeZones(layout.Blocks(), layout.BlockCount(), outputFloats);
    return 1;
}

template <int N>
void SGCompressor<N>::DecodeZones(const ZoneBlock* blocks, uint64_t blockCount,
                                  float* outputFloats) {
    if (blockCount == 0) {
        return;
    }
    // One job per thread rather than per zone: a container may hold 65535 zones.
    const int jobs =
        static_cast<int>(std::min<uint64_t>(blockCount, static_cast<uint64_t>(ConcurrentJobs())));
    if (firstJob == nullptr || jobCount != jobs) {
        Init(jobs);
    }
    if (threadManager != nullptr && jobCount == jobs && jobs > 1) {
        // Jobs take blocks as they finish, so uneven zones still keep every thread busy.
        pendingBlocks = blocks;
        pendingBlockCount = blockCount;
        pendingOutput = outputFloats;
        nextPendingBlock.store(0);
        Run(1);
        pendingBlocks = nullptr;
        return;
    }
    for (uint64_t i = 0; i < blockCount; ++i) {
        decodeZoneBlock(blocks[i], N, outputFloats);
    }
}

template <int N>
bool SGCompressor<N>::AppendRaw(const float* data, uint64_t elements) {
    if (elements > UINT32_MAX) {
        logMessage("Compress: %.0f elements do not fit a block\n", static_cast<double>(elements));
        return false;
    }
    uint8_t header[5];
    header[0] = static_cast<uint8_t>(StreamFormat::Method::Raw);
    writeLE32(header + 1, static_cast<uint32_t>(elements));
    AppendOutput(header, sizeof header);
    AppendOutput(data, elements * 4);
    return true;
}

template <int N>
uint64_t SGCompressor<N>::FinishCompress(uint64_t bytes) {
    if (outputFailed || bytes == 0) {
        output.SetSize(0);
        return 0;
    }
    return OutputBytes();
}

template <int N>
bool SGCompressor<N>::ReserveWork(uint64_t elements) {
    if (elements <= workElements) {
        return true;
    }
    std::free(workArray);
    workElements = 0;
    workArray = static_cast<int32_t*>(std::malloc(elements * 4));
    if (workArray == nullptr) {
        return false;
    }
    adviseLargeBlock(workArray, elements * 4);
    workElements = elements;
    return true;
}

template <int N>
uint64_t SGCompressor<N>::Compress(const float* data, const int32_t* extents, int bits, float step,
                                   int passes) {
    outputFailed = false;
    if (output.Capacity() < InitialOutputBytes) {
        output.SetSize(InitialOutputBytes, nullptr, true);
    }
    output.SetSize(0);
    // Passes beyond one byte would be applied but not stored.
    if (passes < 0 || passes > 255) {
        logMessage("Compress: passes %d outside 0..255\n", passes);
        return 0;
    }
    uint64_t extent[3] = {1, 1, 1};
    uint64_t elements = 1;
    for (int a = 0; a < N; ++a) {
        if (extents[a] < 0) {
            logMessage("Compress: negative extent %d\n", extents[a]);
            return 0;
        }
        extent[a] = static_cast<uint64_t>(extents[a]);
        elements *= extent[a];
        // Three 31-bit extents could wrap 64 bits; no real grid comes near 2^40 elements.
        if (elements > (uint64_t(1) << 40)) {
            logMessage("Compress: grid too large\n");
            return 0;
        }
    }
    uint8_t bytes[8];
    writeLE16(bytes, StreamFormat::StreamMagicSingle);
    AppendOutput(bytes, 2);
    if (bits >= RawBits) {
        return FinishCompress(AppendRaw(data, elements) ? 1 : 0);
    }
    float minimum = 0;
    float maximum = 0;
    findValueRange(data, elements, minimum, maximum);
    if (std::fabs(minimum - maximum) < ConstantTolerance) {
        if (elements > UINT32_MAX) {
            return FinishCompress(0);
        }
        bytes[0] = static_cast<uint8_t>(StreamFormat::Method::Constant);
        writeLE32(bytes + 1, static_cast<uint32_t>(elements));
        AppendOutput(bytes, 5);
        writeF32(bytes, minimum);
        AppendOutput(bytes, 4);
        return FinishCompress(1);
    }
    if (!ReserveWork(elements)) {
        logMessage("Can't allocate %d MB for compression", static_cast<int>(elements / 1048576));
        return 0;
    }
    const float scale =
        bits > 0 ? static_cast<float>(1 << bits) / (maximum - minimum) : 1.0f / step;
    // A range that overflows to infinity, or quantised values beyond 32 bits, cannot be
    // coded: the data goes out raw instead of decoding to NaN or wrapped integers.
    iArray<int64_t, int64_t> markers;
    RunPacker packer(workArray, StreamFormat::MinimumRun, &markers);
    int32_t base = 0;
    int32_t highest = 0;
    bool coded = std::isfinite(scale) && scale != 0.0f &&
                 packDifferenced(data, extent, static_cast<uint32_t>(passes), minimum, scale,
                                 workArray, packer, base, highest);
    // Items at or above 2^31 would read back as run markers.
    coded = coded && int64_t(highest) - int64_t(base) <= INT32_MAX;
    if (!coded) {
        return FinishCompress(AppendRaw(data, elements) ? 1 : 0);
    }
    const uint64_t itemCount = packer.Finish();
    if (packer.Failed()) {
        logMessage("Can't allocate %d MB for compression", static_cast<int>(elements / 1048576));
        return FinishCompress(0);
    }
    // Literals were packed before base was known, so they stand base above their items;
    // markers are raised to match, and the coder takes every item less base.
    for (int64_t m = 0; m < markers.Count(); ++m) {
        int32_t& marker = workArray[markers[m]];
        marker = static_cast<int32_t>(static_cast<uint32_t>(marker) + static_cast<uint32_t>(base));
    }
    // The smallest value becomes the literal 0 and the largest highest - base: every value
    // is written as a literal at least once, where its first run starts.
    if (coder.Encode(workArray, itemCount, packer.LowestMarker(), highest - base, base) == 0) {
        return FinishCompress(0);
    }
    bytes[0] = static_cast<uint8_t>(StreamFormat::Method::Coded);
    AppendOutput(bytes, 1);
    for (int a = 0; a < N; ++a) {
        writeLE32(bytes, static_cast<uint32_t>(extents[a]));
        AppendOutput(bytes, 4);
    }
    writeF32(bytes, scale);
    writeF32(bytes + 4, minimum);
    AppendOutput(bytes, 8);
    writeLE32(bytes, static_cast<uint32_t>(base));
    // Only the low byte of passes is stored; callers keep passes within 0..255.
    bytes[4] = static_cast<uint8_t>(passes);
    AppendOutput(bytes, 5);
    AppendOutput(coder.OutputData(), coder.OutputBytes());
    return FinishCompress(1);
}

template class SGCompressor<1>;
template class SGCompressor<3>;
