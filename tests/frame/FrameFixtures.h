// SPDX-License-Identifier: Apache-2.0
// Frames filled by hand for the loader tests: a record table of hand-built records, and
// packed colour payloads.
#pragma once

#include "frame/FluxaFrameData.h"
#include "tests/cachefile/KorBytes.h"

#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

namespace kortest {

inline void giveRecords(FluxaFrameData& frame, int32_t gx, int32_t gy, int32_t gz,
                        const std::string& table) {
    delete[] frame.recordTable;
    frame.recordTable = new int32_t[table.size() / 4 + 1];
    std::memcpy(frame.recordTable, table.data(), table.size());
    frame.recordWords = int32_t(table.size() / 4);
    frame.gridSize[0] = gx;
    frame.gridSize[1] = gy;
    frame.gridSize[2] = gz;
}

// The payload of slot 18: the int64 byte count, then zlib bytes of one word per voxel.
inline std::string packedColourPayload(const std::vector<uint8_t>& voxelBytes) {
    uLongf compressedBytes = compressBound(uLong(voxelBytes.size()));
    std::string compressed(compressedBytes, '\0');
    compress(reinterpret_cast<Bytef*>(&compressed[0]), &compressedBytes, voxelBytes.data(),
             uLong(voxelBytes.size()));
    compressed.resize(compressedBytes);
    return KorBytes().i64(int64_t(compressed.size())).raw(compressed).bytes();
}

} // namespace kortest
