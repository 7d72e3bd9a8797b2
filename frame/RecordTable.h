// SPDX-License-Identifier: Apache-2.0
// Lookup in the grid channel record table: 32-bit little-endian words holding records
//   word 0      channel slot the record fills
//   word 1      L, payload words that follow (0 or less ends the table)
//   words 2..   payload: a codec stream, or for slot 18 an int64 byte count and zlib bytes
// back to back from word 0. The first record of a channel counts.
#pragma once

#include "support/iArray.h"

#include <cstdint>

// Bytes of one record's payload, inside the table.
struct RecordPayload {
    const uint8_t* bytes = nullptr;
    uint64_t byteCount = 0;
};

enum class RecordLookup {
    Missing,  // no record for the channel
    Found,    // payload set
    Overruns, // the record's stated payload runs past the end of the table
};

RecordLookup findRecord(const int32_t* table, int32_t words, int channel, RecordPayload& payload);

// The zlib bytes of a packed colour payload, counted by the int64 in front. False when the
// count is negative or exceeds the payload.
bool packedColourStream(const RecordPayload& payload, RecordPayload& zlibBytes);

// Appends a record of channel for payloadBytes of payload, zero-padded to whole words, and
// returns where the payload goes. Null when the payload is empty, the table would pass
// 2^31 - 1 words or cannot grow.
uint8_t* appendRecord(iArray<int32_t>& table, int channel, uint64_t payloadBytes);
