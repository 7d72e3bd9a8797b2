// SPDX-License-Identifier: Apache-2.0
#include "codec/BitWriter.h"

#include "support/Messages.h"

bool BitWriter::Reset(int64_t reserveBytes) {
    failed = false;
    word = 0;
    pendingBits = 0;
    limit = UINT64_MAX;
    if (output.Capacity() < reserveBytes && output.SetSize(reserveBytes, nullptr, true)) {
        output.SetSize(0);
        return true;
    }
    output.SetSize(0);
    return output.Capacity() >= reserveBytes;
}

bool BitWriter::AppendWord(uint32_t value, bool checkLimit) {
    const int64_t at = output.Count();
    if (!output.SetSize(at + 4)) {
        failed = true;
        return false;
    }
    writeLE32(output.Data() + at, value);
    if (checkLimit && ByteCount() >= limit) {
        LogLimitReached();
        return false;
    }
    return true;
}

void BitWriter::LogLimitReached() const {
    logMessage("WriteWord exceeded! output.count()=%.0f, bufferLimit=%.0f\n",
               static_cast<double>(ByteCount()), static_cast<double>(limit));
}

bool BitWriter::Close() {
    if (pendingBits == 0) {
        return !failed;
    }
    const uint32_t last = static_cast<uint32_t>(word);
    word = 0;
    pendingBits = 0;
    // The closing word is never held against the limit.
    AppendWord(last, false);
    return !failed;
}
