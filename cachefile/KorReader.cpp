// SPDX-License-Identifier: Apache-2.0
// The "kor" reader. With a trailer the chunk list is read before the header, so that the
// particle summary is in place when the header is read. Only the checked reads raise;
// readKorStream catches them once and reports a broken file.
#include "cachefile/KorReader.h"

#include "cachefile/IOErrException.h"
#include "cachefile/KorFileIO.h"
#include "cachefile/KorFormat.h"
#include "cachefile/ParticleRecords.h"
#include "frame/LoadResult.h"
#include "particles/PGroup.h"
#include "platform/Platform.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"
#include "support/NewArray.h"
#include "support/Utf8.h"

#include <cstring>
#include <new>

using namespace KorFormat;

namespace {

// The smallest summary entry: an empty name's count, then particle count, mask and flags.
constexpr int64_t MinSummaryGroupBytes = 16;
constexpr int64_t ChannelRangeBytes = 12;

struct Trailer {
    bool present = false;
    int32_t version = 0;
    int64_t dataOffset = 0;
};

// One read of one file into one frame. fileBytes is taken once, at the trailer.
class KorFileReader {
public:
    KorFileReader(FluxaFrameData& target, FILE* source, bool onlyHeader)
        : frame(target), file(source), headerOnly(onlyHeader) {}

    // Returns LoadNothingToRead for a negative 32-bit offset; raises when broken.
    int read() {
        const Trailer trailer = readTrailer();
        if (trailer.present && trailer.dataOffset < 0 && trailer.version < VersionWideOffsets) {
            return LoadNothingToRead;
        }
        seekOrFail(file, 0, SEEK_SET, nullptr);
        if (trailer.present) {
            readChunks(trailer);
            seekOrFail(file, 0, SEEK_SET, nullptr);
        }
        readHeader();
        if (headerOnly) {
            giveHeaderOnlyTable();
        }
        return LoadOk;
    }

private:
    Trailer readTrailer() {
        seekOrFail(file, 0, SEEK_END, "Failed to seek to EOF!\n");
        fileBytes = Platform::tellFile(file);
        seekOrFail(file, fileBytes - TrailerMagicFromEnd, SEEK_SET,
                   "Failed while seeking to kora2 magic!\n");
        char magic[sizeof TrailerMagic];
        readOrFail(magic, 1, sizeof magic, file, "Failed reading kora2 magic!\n");
        Trailer trailer;
        if (std::memcmp(magic, TrailerMagic, sizeof magic) != 0) {
            return trailer;
        }
        trailer.present = true;
        seekOrFail(file, fileBytes - TrailerVersionFromEnd, SEEK_SET,
                   "Failed to seek to kora2 version!\n");
        trailer.version = readInt32OrFail(file, "Failed reading kora2 version!\n");
        const bool wide = trailer.version >= VersionWideOffsets;
        seekOrFail(file, fileBytes - (wide ? TrailerOffset64FromEnd : TrailerOffset32FromEnd),
                   SEEK_SET, "Failed seeking to marker chunk!\n");
        trailer.dataOffset = wide ? readInt64OrFail(file, "Failed reading kora2 data offset!\n")
                                  : readInt32OrFail(file, "Failed reading kora2 data offset!\n");
        return trailer;
    }

    void readChunks(const Trailer& trailer) {
        // An offset beyond the file would make the seek succeed and the sum overflow.
        if (trailer.dataOffset < 0 || trailer.dataOffset > fileBytes) {
            throw IOErrException();
        }
        seekOrFail(file, trailer.dataOffset + 4, SEEK_SET, nullptr);
        const bool wide = trailer.version >= VersionWideOffsets;
        for (;;) {
            const int32_t id = readInt32OrFail(file, "Failed reading chunk id!\n");
            if (id == ChunkListEnd) {
                return;
            }
            const int64_t size = wide ? readInt64OrFail(file, "Failed reading chunk size!\n")
                                      : readInt32OrFail(file, "Failed reading chunk size!\n");
            switch (id) {
            case ChunkParticleSummary:
                readParticleSummary();
                if (trailer.version < VersionChunkList) {
                    return;
                }
                break;
            case ChunkNote:
                readString(frame.note, file, fileBytes);
                break;
            case ChunkChannelRanges:
                readChannelRanges();
                break;
            case ChunkParticleData:
                if (headerOnly) {
                    skipChunk(size);
                } else {
                    readParticleChunk(frame, file, fileBytes);
                }
                break;
            default:
                skipChunk(size);
                break;
            }
        }
    }

    void skipChunk(int64_t size) {
        // A negative size would walk back into chunks already read, for ever.
        requireBytesLeft(size, 1, file, fileBytes, nullptr);
        seekOrFail(file, size, SEEK_CUR, nullptr);
    }

    void readParticleSummary() {
        const int32_t groupCount = readInt32OrFail(file, nullptr);
        requireBytesLeft(groupCount, MinSummaryGroupBytes, file, fileBytes, nullptr);
        if (!frame.groups.SetSize(groupCount)) {
            throw IOErrException();
        }
        for (int32_t g = 0; g < groupCount; ++g) {
            FluxaFrameData::PGroup& group = frame.groups[g];
            group.frame = &frame;
            readString(group.name, file, fileBytes);
            group.count = readInt32OrFail(file, nullptr);
            group.channelMask = static_cast<uint32_t>(readInt32OrFail(file, nullptr));
            group.velocitySource = static_cast<uint32_t>(readInt32OrFail(file, nullptr));
        }
        readFloatsOrFail(frame.particleBoundsMin, 3, file, nullptr);
        readFloatsOrFail(frame.particleBoundsMax, 3, file, nullptr);
        readInt32OrFail(file, "Failed reading chunk id!\n");
        summarySeen = true;
    }

    void readChannelRanges() {
        const int32_t entryCount = readInt32OrFail(file, nullptr);
        requireBytesLeft(entryCount, ChannelRangeBytes, file, fileBytes, nullptr);
        for (int32_t e = 0; e < entryCount; ++e) {
            const int32_t channel = readInt32OrFail(file, nullptr);
            float range[2];
            readFloatsOrFail(range, 2, file, nullptr);
            if (channel >= 0 && channel < 32) {
                frame.channelMin[channel] = range[0];
                frame.channelMax[channel] = range[1];
            }
        }
    }

    void readHeader() {
        char magic[sizeof HeaderMagic];
        readOrFail(magic, 1, sizeof magic, file, nullptr);
        if (std::memcmp(magic, HeaderMagic, sizeof magic) != 0) {
            logMessage("no hdr\n");
            throw IOErrException();
        }
        for (;;) {
            const int32_t tag = readInt32OrFail(file, "0\n");
            if (tag <= TagEnd || tag > TagLast) {
                return;
            }
            readHeaderRecord(tag);
        }
    }

    void readHeaderRecord(int32_t tag) {
        switch (tag) {
        case TagChannelMask:
            frame.channelMask = static_cast<uint32_t>(readInt32OrFail(file, "1\n"));
            frame.flags.backup = (frame.channelMask >> 31) != 0;
            break;
        case TagTransform:
            readFloatsOrFail(frame.transform, 12, file, "2\n");
            break;
        case TagGrid:
            readGrid();
            break;
        case TagFrameNumber:
            frame.frameNumber = readInt32OrFail(file, "4\n");
            break;
        case TagFloatB:
            readFloatsOrFail(&frame.headerFloatB, 1, file, "7\n");
            break;
        case TagExtraTransform:
            readFloatsOrFail(frame.extraTransforms[0], 12, file, "6\n");
            break;
        case TagBlockDouble8: {
            float value;
            readFloatsOrFail(&value, 1, file, "20\n");
            storeDouble(BlockDouble8At, value);
            break;
        }
        case TagFloatA:
            readOrFail(frame.headerBlock + BlockFloat348At, 4, 1, file, "21\n");
            readFloatsOrFail(&frame.headerFloatA, 1, file, "22\n");
            break;
        case TagBlockDoubles:
            readOrFail(frame.headerBlock + BlockDouble8At, 8, 1, file, "24\n");
            readOrFail(frame.headerBlock + BlockDouble16At, 8, 1, file, "25\n");
            break;
        case TagExtraTransforms:
            for (float(&extra)[12] : frame.extraTransforms) {
                readFloatsOrFail(extra, 12, file, "11\n");
            }
            readOrFail(frame.headerBlock + BlockBytes384At, 8, 1, file, "x111\n");
            break;
        case TagHeaderBlock:
            readHeaderBlock();
            break;
        default:
            // Tags 7 and 13. A header-only read with the summary in hand needs no particles;
            // without the summary the bounds come from the particles themselves. Identifiers
            // are never needed for the header.
            readParticleSection(frame, file, fileBytes,
                                {tag == TagCodedParticles, !(headerOnly && summarySeen),
                                 !headerOnly, !summarySeen});
            break;
        }
    }

    void readGrid() {
        int32_t size[3];
        uint8_t sizeBytes[12];
        readOrFail(sizeBytes, 4, 3, file, "3\n");
        for (int axis = 0; axis < 3; ++axis) {
            size[axis] = static_cast<int32_t>(readLE32(sizeBytes + 4 * static_cast<size_t>(axis)));
        }
        std::memcpy(frame.gridSize, size, sizeof size);
        const int32_t words = readInt32OrFail(file, "4\n");
        if (words < 0) {
            logMessage("FluxaFrameData::ImportKor bad comprDataSzInts!");
            throw IOErrException();
        }
        // Room is checked before anything is allocated for the table.
        requireBytesLeft(words, 4, file, fileBytes, "x41\n");
        delete[] frame.recordTable;
        frame.recordTable = nullptr;
        frame.recordWords = 0;
        if (headerOnly) {
            seekOrFail(file, int64_t(words) * 4, SEEK_CUR, "x41\n");
            return;
        }
        int32_t* table = nullptr;
        if (!newArray(table, static_cast<uint64_t>(words))) {
            throw IOErrException();
        }
        frame.recordTable = table;
        readOrFail(table, 4, static_cast<uint64_t>(words), file, "x41\n");
        frame.recordWords = words;
    }

    void readHeaderBlock() {
        const uint32_t stated = static_cast<uint32_t>(readInt32OrFail(file, "12\n"));
        const uint32_t kept = stated <= HeaderBlockBytes ? stated : HeaderBlockBytes;
        readOrFail(frame.headerBlock, 1, kept, file, "12\n");
        const int64_t discarded = int64_t(stated) - kept;
        requireBytesLeft(discarded, 1, file, fileBytes, "x121\n");
        seekOrFail(file, discarded, SEEK_CUR, "x121\n");
    }

    void storeDouble(int at, double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        writeLE64(frame.headerBlock + at, bits);
    }

    // A header-only frame still has a non-empty record table.
    void giveHeaderOnlyTable() {
        int32_t* table = nullptr;
        if (!newArray(table, 1)) {
            throw IOErrException();
        }
        table[0] = 0;
        frame.recordTable = table;
        frame.recordWords = 1;
    }

    FluxaFrameData& frame;
    FILE* file;
    const bool headerOnly;
    int64_t fileBytes = 0;
    bool summarySeen = false;
};

void prepareFrame(FluxaFrameData& frame) {
    frame.resetHeader();
    frame.recordWords = 0;
    frame.frameNumber = 0;
}

} // namespace

int readKorStream(FluxaFrameData* frame, FILE* file, const char* path, bool headerOnly) {
    prepareFrame(*frame);
    try {
        return KorFileReader(*frame, file, headerOnly).read();
    } catch (const IOErrException&) {
    } catch (const std::bad_alloc&) {
    }
    logMessage("FluxaFrameData::ImportKor broken or bad memory allocation. File is: %s\n",
               path != nullptr ? path : "");
    delete[] frame->recordTable;
    frame->recordTable = nullptr;
    frame->recordWords = 0;
    return LoadBrokenFile;
}

int readKorFile(FluxaFrameData* frame, const char* path, bool headerOnly) {
    prepareFrame(*frame);
    if (path == nullptr || path[0] == '\0') {
        return LoadNothingToRead;
    }
    FILE* file = uniFOpen(path, "rb");
    if (file == nullptr) {
        return LoadNothingToRead;
    }
    const int result = readKorStream(frame, file, path, headerOnly);
    std::fclose(file);
    return result;
}
