// SPDX-License-Identifier: Apache-2.0
#include "frame/RecordTable.h"

#include "support/ByteOrder.h"

#include <cstring>

namespace {

constexpr int64_t RecordHeadWords = 2;
constexpr uint64_t PackedCountBytes = 8;

int32_t wordAt(const int32_t* table, int64_t index) {
    return static_cast<int32_t>(readLE32(reinterpret_cast<const uint8_t*>(table + index)));
}

} // namespace

RecordLookup findRecord(const int32_t* table, int32_t words, int channel, RecordPayload& payload) {
    if (table == nullptr) {
        return RecordLookup::Missing;
    }
    // 64-bit positions: a hostile length must not wrap the walk back to the start.
    for (int64_t at = 0; at < int64_t(words) - 1;) {
        const int32_t payloadWords = wordAt(table, at + 1);
        if (payloadWords <= 0) {
            return RecordLookup::Missing;
        }
        if (wordAt(table, at) == channel) {
            const int64_t payloadAt = at + RecordHeadWords;
            if (payloadWords > words - payloadAt) {
                return RecordLookup::Overruns;
            }
            payload.bytes = reinterpret_cast<const uint8_t*>(table + payloadAt);
            payload.byteCount = uint64_t(payloadWords) * 4;
            return RecordLookup::Found;
        }
        at += payloadWords + RecordHeadWords;
    }
    return RecordLookup::Missing;
}

bool packedColourStream(const RecordPayload& payload, RecordPayload& zlibBytes) {
    if (payload.byteCount < PackedCountBytes) {
        return false;
    }
    const int64_t stated = static_cast<int64_t>(readLE64(payload.bytes));
    if (stated < 0 || uint64_t(stated) > payload.byteCount - PackedCountBytes) {
        return false;
    }
    // The whole count, not its low 32 bits: a stream of 4 GiB or more stays whole.
    zlibBytes.bytes = payload.bytes + PackedCountBytes;
    zlibBytes.byteCount = uint64_t(stated);
    return true;
}

uint8_t* appendRecord(iArray<int32_t>& table, int channel, uint64_t payloadBytes) {
    const uint64_t payloadWords = (payloadBytes + 3) / 4;
    const int64_t at = table.Count();
    if (payloadWords == 0 || payloadWords > uint64_t(INT32_MAX) ||
        uint64_t(at) + RecordHeadWords + payloadWords > uint64_t(INT32_MAX)) {
        return nullptr;
    }
    if (!table.SetSize(static_cast<int32_t>(at + RecordHeadWords + int64_t(payloadWords)))) {
        return nullptr;
    }
    // The payload covers every word but the padding of the last.
    table[static_cast<int32_t>(at + RecordHeadWords + int64_t(payloadWords) - 1)] = 0;
    uint8_t* const record = reinterpret_cast<uint8_t*>(table.Data() + at);
    writeLE32(record, static_cast<uint32_t>(channel));
    writeLE32(record + 4, static_cast<uint32_t>(payloadWords));
    return record + 8;
}
