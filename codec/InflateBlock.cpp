// SPDX-License-Identifier: Apache-2.0
#include "codec/InflateBlock.h"

#include "support/Messages.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace {

constexpr uint64_t MaxPieceBytes = UINT32_MAX;

} // namespace

int inflateBlock(const uint8_t* compressed, uint64_t compressedBytes, uint8_t* output,
                 uint64_t outputBytes, uint64_t* producedBytes) {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    // zlib never writes through next_in; the cast only meets its older signature.
    stream.next_in = const_cast<Bytef*>(compressed);
    stream.next_out = output;
    uint64_t inputLeft = compressedBytes;
    uint64_t outputLeft = outputBytes;
    int result = inflateInit_(&stream, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
    if (result == Z_OK) {
        // Below 4 GiB each way this is the single call with the sync flush; beyond, the
        // stream continues with the next piece wherever a piece ran out.
        bool pieceRanOut = true;
        while (result == Z_OK && pieceRanOut) {
            const uInt inputPiece = static_cast<uInt>(std::min(inputLeft, MaxPieceBytes));
            const uInt outputPiece = static_cast<uInt>(std::min(outputLeft, MaxPieceBytes));
            stream.avail_in = inputPiece;
            stream.avail_out = outputPiece;
            result = inflate(&stream, Z_SYNC_FLUSH);
            inputLeft -= inputPiece - stream.avail_in;
            outputLeft -= outputPiece - stream.avail_out;
            pieceRanOut = (stream.avail_in == 0 && inputLeft > 0) ||
                          (stream.avail_out == 0 && outputLeft > 0);
        }
        inflateEnd(&stream);
    }
    if (producedBytes != nullptr) {
        *producedBytes = outputBytes - outputLeft;
    }
    if (result != Z_STREAM_END) {
        logMessage("Error decompressing Zip (%d)\n", result);
        return 0;
    }
    return 1;
}
