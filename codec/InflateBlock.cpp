// SPDX-License-Identifier: Apache-2.0
#include "codec/InflateBlock.h"

#include "support/Messages.h"

#include <cstring>
#include <zlib.h>

int inflateBlock(const uint8_t* compressed, uint32_t compressedBytes, uint8_t* output,
                 uint32_t outputBytes) {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    // zlib never writes through next_in; the cast only meets its older signature.
    stream.next_in = const_cast<Bytef*>(compressed);
    stream.avail_in = compressedBytes;
    stream.next_out = output;
    stream.avail_out = outputBytes;
    int result = inflateInit_(&stream, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
    if (result != Z_OK) {
        logMessage("Error decompressing Zip (%d)\n", result);
        return 0;
    }
    result = inflate(&stream, Z_SYNC_FLUSH);
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        logMessage("Error decompressing Zip (%d)\n", result);
        return 0;
    }
    return 1;
}
