// SPDX-License-Identifier: Apache-2.0
// The "kor" writer. Checked writes raise IOErrException, which writeKorFile catches once;
// strings and count patches go unchecked and show up only through the stream's error
// indicator, which is read when the file is closed.
#include "cachefile/KorWriter.h"

#include "cachefile/IOErrException.h"
#include "cachefile/KorFormat.h"
#include "particles/PGroup.h"
#include "platform/Platform.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"
#include "support/Paths.h"
#include "support/Utf8.h"

#include <cerrno>
#include <cstring>
#include <new>

using namespace KorFormat;

namespace {

constexpr uint64_t MaxWritePiece = 1048576;
constexpr uint32_t VelocityFromGrid = 0x30000;
constexpr uint32_t VelocitySaveBits = 0x70;
constexpr int ParticleVelocity = 1;
// The storage method of a particle channel written from its decoded values.
constexpr int32_t StoredRaw = 0;
// Chunk 1003 is written when any of the channels up to TextureW is present.
constexpr int LastRangedChannel = 21;

void writeInt32(int32_t value, FILE* file) {
    uint8_t bytes[4];
    writeLE32(bytes, static_cast<uint32_t>(value));
    writeOrFail(bytes, sizeof bytes, file);
}

void writeInt64(int64_t value, FILE* file) {
    uint8_t bytes[8];
    writeLE64(bytes, static_cast<uint64_t>(value));
    writeOrFail(bytes, sizeof bytes, file);
}

void writeFloats(const float* values, int count, FILE* file) {
    for (int i = 0; i < count; ++i) {
        uint8_t bytes[4];
        writeF32(bytes, values[i]);
        writeOrFail(bytes, sizeof bytes, file);
    }
}

void writeUnchecked(const void* bytes, size_t byteCount, FILE* file) {
    if (byteCount > 0) {
        std::fwrite(bytes, 1, byteCount, file);
    }
}

void writeInt32Unchecked(int32_t value, FILE* file) {
    uint8_t bytes[4];
    writeLE32(bytes, static_cast<uint32_t>(value));
    writeUnchecked(bytes, sizeof bytes, file);
}

void writeString(const CharString& string, FILE* file) {
    writeInt32Unchecked(string.Length(), file);
    writeUnchecked(string.Chars(), static_cast<size_t>(string.Length()), file);
}

// Writes count at placeHolderAt and returns to the end of the file.
void patchCount(int64_t placeHolderAt, int32_t count, FILE* file) {
    Platform::seekFile(file, placeHolderAt, SEEK_SET);
    writeInt32Unchecked(count, file);
    Platform::seekFile(file, 0, SEEK_END);
}

void writeHeader(FluxaFrameData& frame, uint32_t saveMask, FILE* file) {
    writeOrFail(HeaderMagic, sizeof HeaderMagic, file);
    writeInt32(TagChannelMask, file);
    writeInt32(static_cast<int32_t>(saveMask), file);
    writeInt32(TagTransform, file);
    writeFloats(frame.transform, 12, file);
    writeInt32(TagGrid, file);
    for (const int32_t extent : frame.gridSize) {
        writeInt32(extent, file);
    }
    logMessage("Channels data size in file is %d elements.\n", frame.recordWords);
    writeInt32(frame.recordWords, file);
    // The table is kept as the file's little-endian bytes.
    writeOrFail(frame.recordTable, uint64_t(frame.recordWords > 0 ? frame.recordWords : 0) * 4,
                file);
    writeInt32(TagFrameNumber, file);
    writeInt32(frame.frameNumber, file);
    writeInt32(TagFloatB, file);
    writeFloats(&frame.headerFloatB, 1, file);
    writeInt32(TagFloatA, file);
    writeOrFail(frame.headerBlock + BlockFloat348At, 4, file);
    writeFloats(&frame.headerFloatA, 1, file);
    writeInt32(TagBlockDoubles, file);
    writeOrFail(frame.headerBlock + BlockDouble8At, 8, file);
    writeOrFail(frame.headerBlock + BlockDouble16At, 8, file);
    writeInt32(TagExtraTransforms, file);
    for (const float(&extra)[12] : frame.extraTransforms) {
        writeFloats(extra, 12, file);
    }
    writeOrFail(frame.headerBlock + BlockBytes384At, 8, file);
    writeInt32(TagHeaderBlock, file);
    writeInt32(HeaderBlockBytes, file);
    writeOrFail(frame.headerBlock, HeaderBlockBytes, file);
    writeInt32(TagEnd, file);
}

uint32_t summaryMask(FluxaFrameData::PGroup& group, uint32_t saveMask) {
    uint32_t mask = 0;
    for (int c = 0; c < 32; ++c) {
        mask |= group.hasChannel(c) ? 1u << c : 0u;
    }
    if (group.velocitySource == VelocityFromGrid && (saveMask & VelocitySaveBits) != 0) {
        mask |= 1u << ParticleVelocity;
    }
    return mask;
}

void writeParticleSummary(FluxaFrameData& frame, uint32_t saveMask, FILE* file) {
    const int64_t sizeAt = beginChunk(ChunkParticleSummary, file);
    writeInt32(frame.groups.Count(), file);
    for (int32_t g = 0; g < frame.groups.Count(); ++g) {
        FluxaFrameData::PGroup& group = frame.groups[g];
        writeString(group.name, file);
        writeInt32(group.count, file);
        writeInt32(static_cast<int32_t>(summaryMask(group, saveMask)), file);
        writeInt32(static_cast<int32_t>(group.velocitySource), file);
    }
    writeFloats(frame.particleBoundsMin, 3, file);
    writeFloats(frame.particleBoundsMax, 3, file);
    endChunk(sizeAt, file);
    writeInt32(ParticleSummaryTrailer, file);
}

// Channels held only decoded (asked for by a host, or read from a legacy section) are
// written raw from their values, so that saving a frame again loses nothing it read.
int32_t writeParticleChannels(FluxaFrameData::PGroup& group, FILE* file) {
    int32_t written = 0;
    for (int c = 0; c < 32; ++c) {
        FluxaFrameData::PGroup::Channel& channel = group.channels[c];
        Platform::CriticalSectionGuard guard(channel.lock);
        const bool stored = channel.compressed.Count() > 0;
        const iArray<char, int64_t>& bytes = stored ? channel.compressed : channel.decoded;
        if (bytes.Count() == 0) {
            continue;
        }
        writeInt32(c, file);
        writeInt32(stored ? static_cast<int32_t>(channel.method) : StoredRaw, file);
        writeInt32(static_cast<int32_t>(bytes.Count()), file);
        writeOrFail(bytes.Data(), static_cast<uint64_t>(bytes.Count()), file);
        ++written;
    }
    return written;
}

void writeParticleData(FluxaFrameData& frame, FILE* file) {
    const int64_t sizeAt = beginChunk(ChunkParticleData, file);
    writeInt32(frame.groups.Count(), file);
    for (int32_t g = 0; g < frame.groups.Count(); ++g) {
        FluxaFrameData::PGroup& group = frame.groups[g];
        writeString(group.name, file);
        writeInt32(static_cast<int32_t>(group.velocitySource), file);
        writeInt32(group.count, file);
        writeInt64(group.extra, file);
        const int64_t countAt = Platform::tellFile(file);
        writeInt32Unchecked(0, file);
        patchCount(countAt, writeParticleChannels(group, file), file);
    }
    endChunk(sizeAt, file);
}

bool hasRangedChannel(FluxaFrameData& frame) {
    for (int c = 0; c <= LastRangedChannel; ++c) {
        if (frame.hasChannel(c)) {
            return true;
        }
    }
    return false;
}

void writeChannelRanges(FluxaFrameData& frame, FILE* file) {
    const int64_t sizeAt = beginChunk(ChunkChannelRanges, file);
    const int64_t countAt = Platform::tellFile(file);
    writeInt32Unchecked(0, file);
    int32_t entries = 0;
    for (int c = 0; c < 32; ++c) {
        // False for a NaN bound and for a range that was never set.
        const bool hasRange = frame.channelMax[c] >= frame.channelMin[c];
        if ((c == FluxaEnum::Speed || frame.hasChannel(c)) && hasRange) {
            writeInt32(c, file);
            writeFloats(&frame.channelMin[c], 1, file);
            writeFloats(&frame.channelMax[c], 1, file);
            ++entries;
        }
    }
    patchCount(countAt, entries, file);
    endChunk(sizeAt, file);
}

void writeFrame(FluxaFrameData& frame, uint32_t saveMask, FILE* file) {
    writeHeader(frame, saveMask, file);
    const int64_t dataOffset = Platform::tellFile(file);
    writeInt32(ChunkListStart, file);
    writeParticleSummary(frame, saveMask, file);
    const int64_t noteAt = beginChunk(ChunkNote, file);
    writeString(frame.note, file);
    endChunk(noteAt, file);
    if (frame.groups.Count() > 0) {
        writeParticleData(frame, file);
    }
    if (hasRangedChannel(frame)) {
        writeChannelRanges(frame, file);
    }
    writeInt32(ChunkListEnd, file);
    writeInt64(dataOffset, file);
    writeInt32(VersionWideOffsets, file);
    writeOrFail(TrailerMagic, sizeof TrailerMagic, file);
}

} // namespace

void writeOrFail(const void* buffer, uint64_t byteCount, FILE* file) {
    const uint8_t* next = static_cast<const uint8_t*>(buffer);
    while (byteCount > 0) {
        const uint64_t piece = byteCount < MaxWritePiece ? byteCount : MaxWritePiece;
        const size_t written = std::fwrite(next, static_cast<size_t>(piece), 1, file);
        if (written != 1) {
            logMessage("WriteCacheData failed, expected %d, got %d\n", static_cast<int>(piece),
                       static_cast<int>(written));
            throw IOErrException();
        }
        next += piece;
        byteCount -= piece;
    }
}

int64_t beginChunk(int32_t id, FILE* file) {
    writeInt32(id, file);
    const int64_t sizeAt = Platform::tellFile(file);
    writeInt64(0, file);
    return sizeAt;
}

void endChunk(int64_t sizeAt, FILE* file) {
    const int64_t size = Platform::tellFile(file) - sizeAt - 8;
    Platform::seekFile(file, sizeAt, SEEK_SET);
    writeInt64(size, file);
    Platform::seekFile(file, 0, SEEK_END);
}

int writeKorFile(FluxaFrameData* frame, const char* path, uint32_t saveMask) {
    if (path == nullptr || path[0] == '\0') {
        return WriteFailed;
    }
    FILE* file = uniFOpen(path, "wb");
    if (file == nullptr) {
        createPathDirectories(path);
        file = uniFOpen(path, "wb");
        if (file == nullptr) {
            return WriteFailed;
        }
    }
    bool raised = false;
    try {
        writeFrame(*frame, saveMask, file);
    } catch (const IOErrException&) {
        raised = true;
    } catch (const std::bad_alloc&) {
        raised = true;
    }
    // Buffered bytes that cannot be written fail only at the flush or the close: a full
    // disk must not pass for a written file.
    errno = 0;
    const bool flushed = std::fflush(file) == 0;
    bool streamError = !flushed || std::ferror(file) != 0;
    int streamErrno = errno;
    if (std::fclose(file) != 0 && !streamError) {
        streamError = true;
        streamErrno = errno;
    }
    if (!raised && !streamError) {
        return WriteOk;
    }
    if (raised) {
        logMessage("Exception has been thrown while writing the simulation cache file!\n");
    }
    if (streamError) {
        logMessage("File error code: %d\n", streamErrno);
    }
    return WriteFailed;
}
