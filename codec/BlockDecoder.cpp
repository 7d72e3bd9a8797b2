// SPDX-License-Identifier: Apache-2.0
#include "codec/BlockDecoder.h"

#include "codec/EntropyCoder.h"
#include "codec/RowIntegrator.h"
#include "codec/StreamFormat.h"
#include "support/ByteOrder.h"
#include "support/Messages.h"

#include <algorithm>
#include <cstdlib>

namespace {

using StreamFormat::Method;

// Items are integrated in spans of at most this many: 16 KiB stays in L1.
constexpr uint64_t SpanElements = 4096;
// Lines shorter than this are decoded several to a span, to spread the per-span cost.
constexpr uint64_t ShortLineElements = 64;

bool readCount(ByteSource& source, uint64_t capacity, uint32_t& count) {
    uint8_t bytes[4];
    if (!source.Read(bytes, 4)) {
        logMessage("Codec stream refused: block header past the end of its input\n");
        return false;
    }
    count = readLE32(bytes);
    // Checked before any write: the stream states its size, the caller knows the room.
    if (count > capacity) {
        logMessage("Codec stream refused: %u elements for room of %.0f\n", count,
                   static_cast<double>(capacity));
        return false;
    }
    return true;
}

bool decodeRaw(ByteSource& source, float* output, uint64_t capacity, uint64_t& written) {
    uint32_t count = 0;
    if (!readCount(source, capacity, count)) {
        return false;
    }
    // The host is little-endian, like the format: the bytes are the floats.
    if (!source.Read(output, uint64_t(count) * 4)) {
        logMessage("Codec stream refused: raw block past the end of its input\n");
        return false;
    }
    written = count;
    return true;
}

bool decodeConstant(ByteSource& source, float* output, uint64_t capacity, uint64_t& written) {
    uint32_t count = 0;
    uint8_t value[4];
    if (!readCount(source, capacity, count)) {
        return false;
    }
    if (!source.Read(value, 4)) {
        logMessage("Codec stream refused: block header past the end of its input\n");
        return false;
    }
    std::fill_n(output, count, readF32(value));
    written = count;
    return true;
}

// Fields of the quantised header, extents widened so that their product cannot wrap.
struct CodedHeader {
    uint64_t extent[3] = {1, 1, 1};
    uint64_t elements = 0;
    float scale = 0;
    float offset = 0;
    int32_t base = 0;
    uint32_t passes = 0;
};

bool readCodedHeader(ByteSource& source, int axes, uint64_t capacity, CodedHeader& header) {
    uint8_t bytes[3 * 4 + StreamFormat::QuantisedTailBytes];
    const uint32_t size = 4 * static_cast<uint32_t>(axes) + StreamFormat::QuantisedTailBytes;
    if (!source.Read(bytes, size)) {
        logMessage("Codec stream refused: block header past the end of its input\n");
        return false;
    }
    header.elements = 1;
    bool tooLarge = false;
    for (int a = 0; a < axes; ++a) {
        const uint32_t extent = readLE32(bytes + 4 * static_cast<size_t>(a));
        header.extent[a] = extent;
        // Elements beyond the room (or a signed 32-bit extent) cannot be valid.
        tooLarge = tooLarge || extent > uint32_t(INT32_MAX) ||
                   (extent != 0 && header.elements > capacity / extent);
        header.elements = tooLarge ? 0 : header.elements * extent;
    }
    const uint8_t* tail = bytes + 4 * static_cast<size_t>(axes);
    header.scale = readF32(tail);
    header.offset = readF32(tail + 4);
    header.base = static_cast<int32_t>(readLE32(tail + 8));
    header.passes = tail[12];
    if (header.offset > 0 && header.offset < StreamFormat::OffsetFlushLimit) {
        header.offset = 0;
    }
    const bool empty = header.extent[0] == 0 || header.extent[1] == 0 || header.extent[2] == 0;
    if (tooLarge && !empty) {
        logMessage("Codec stream refused: grid of %u x %u x %u for room of %.0f\n",
                   static_cast<uint32_t>(header.extent[0]), static_cast<uint32_t>(header.extent[1]),
                   static_cast<uint32_t>(header.extent[2]), static_cast<double>(capacity));
        return false;
    }
    if (empty) {
        header.elements = 0;
    }
    return true;
}

void logAllocationFailure(uint64_t elements) {
    logMessage("Can't allocate %d MB for decompression", static_cast<int>(elements / 1048576));
}

bool decodeCoded(ByteSource& source, int axes, float* output, uint64_t capacity,
                 uint64_t& written) {
    CodedHeader header;
    if (!readCodedHeader(source, axes, capacity, header)) {
        return false;
    }
    // An empty grid has nothing to decode, and no line to divide by.
    if (header.elements == 0) {
        return true;
    }
    const float inverseScale = 1.0f / header.scale;
    // Spans are pieces of one long line, one line, or several whole short lines. Lines of
    // ordinary length go one at a time so that empty ones take the zero path alone.
    const uint64_t span = std::min(header.extent[0], SpanElements);
    const uint64_t rowsPerSpan =
        header.extent[0] < ShortLineElements ? SpanElements / header.extent[0] : 1;
    int32_t* const items = static_cast<int32_t*>(std::malloc(span * rowsPerSpan * 4));
    RowIntegrator integrator;
    if (items == nullptr || !integrator.Init(header.extent, header.passes)) {
        std::free(items);
        logAllocationFailure(header.elements);
        return false;
    }
    EntropyCoder coder;
    // Every table entry is a symbol that occurs, so a valid table is never longer than
    // the grid.
    if (!coder.InitDecoder(source, header.elements)) {
        std::free(items);
        return false;
    }
    if (!coder.BeginItems(header.base)) {
        std::free(items);
        logAllocationFailure(header.elements);
        return false;
    }
    float* out = output;
    for (uint64_t k = 0; k < header.extent[2]; ++k) {
        for (uint64_t j = 0; j < header.extent[1]; j += rowsPerSpan) {
            const uint64_t rows = std::min(rowsPerSpan, header.extent[1] - j);
            for (uint64_t start = 0; start < header.extent[0]; start += span) {
                const uint64_t count = std::min(span, header.extent[0] - start);
                const bool zeros = coder.SkipZeroRun(rows * count);
                if (!zeros && !coder.ExpandItems(items, rows * count)) {
                    std::free(items);
                    return false;
                }
                for (uint64_t r = 0; r < rows; ++r, out += count) {
                    uint32_t* const values = reinterpret_cast<uint32_t*>(items) + r * count;
                    if (zeros) {
                        integrator.IntegrateZerosAndDequantise(values, count, start, j + r, k,
                                                               inverseScale, header.offset, out);
                    } else {
                        integrator.IntegrateAndDequantise(values, count, start, j + r, k,
                                                          inverseScale, header.offset, out);
                    }
                }
            }
        }
    }
    coder.FinishItems();
    std::free(items);
    written = header.elements;
    return true;
}

} // namespace

int decodeSingleBlock(ByteSource& source, int axes, float* output, uint64_t outputCapacity) {
    uint8_t method = 0;
    if (!source.ReadByte(method)) {
        return 0;
    }
    uint64_t written = 0;
    bool decoded = false;
    switch (static_cast<Method>(method)) {
    case Method::Raw:
        decoded = decodeRaw(source, output, outputCapacity, written);
        break;
    case Method::Constant:
        decoded = decodeConstant(source, output, outputCapacity, written);
        break;
    case Method::Coded:
        decoded = decodeCoded(source, axes, output, outputCapacity, written);
        break;
    }
    if (!decoded) {
        return 0;
    }
    // The caller hands the whole room on: none of it may keep what the allocator left.
    std::fill(output + written, output + outputCapacity, 0.0f);
    return 1;
}

bool readBlockElements(ByteSource source, int axes, uint64_t limit, uint64_t& elements) {
    uint8_t method = 0;
    if (!source.ReadByte(method)) {
        return false;
    }
    switch (static_cast<Method>(method)) {
    case Method::Raw:
    case Method::Constant: {
        uint32_t count = 0;
        if (!readCount(source, limit, count)) {
            return false;
        }
        elements = count;
        return true;
    }
    case Method::Coded: {
        CodedHeader header;
        if (!readCodedHeader(source, axes, limit, header)) {
            return false;
        }
        elements = header.elements;
        return true;
    }
    }
    return false;
}
