// SPDX-License-Identifier: Apache-2.0
// Two rules keep every byte string intact through UTF-16 and back: a surrogate pair is
// only ever a high unit followed by a low one, and a low surrogate written in three bytes
// right after a lone high one is escaped, since the pair would otherwise fuse into one
// four-byte character on the way back.
#include "support/Utf8.h"

namespace {

// Largest value of each sequence length, by continuation bytes minus one: a decoded value
// must exceed the entry below its own length.
constexpr uint64_t LengthLimit[] = {0x7F,      0x7FF,      0xFFFF,    0x1FFFFF,
                                    0x3FFFFFF, 0x7FFFFFFF, 0xFFFFFFFF};

constexpr uint32_t EscapeBase = 0x100000;
constexpr uint32_t EscapeEnd = 0x100100;
constexpr uint16_t EscapeHigh = 0xDBC0;
constexpr uint16_t EscapeLowBase = 0xDC00;

bool isHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

int leadingOnes(uint8_t byte) {
    int n = 0;
    while (n < 8 && (byte & (0x80 >> n)) != 0) {
        ++n;
    }
    return n;
}

// Collects UTF-16 output under the capacity rules.
class Utf16Sink {
public:
    Utf16Sink(uint16_t* output, int64_t outputCapacity)
        : destination(output), capacity(outputCapacity) {}

    bool Full() const { return destination != nullptr && count >= capacity; }

    void Single(uint16_t unit) {
        if (destination != nullptr) {
            destination[count] = unit;
        }
        ++count;
    }

    // False when the pair would leave no room for the terminator: the output is then
    // terminated where room remains and the conversion stops.
    bool Pair(uint16_t high, uint16_t low) {
        if (destination != nullptr) {
            if (capacity - count <= 2) {
                if (count < capacity) {
                    destination[count] = 0;
                }
                return false;
            }
            destination[count] = high;
            destination[count + 1] = low;
        }
        count += 2;
        return true;
    }

    int64_t Finish() {
        if (destination != nullptr && count < capacity) {
            destination[count] = 0;
        }
        return count;
    }

    int64_t count = 0;

private:
    uint16_t* destination;
    int64_t capacity;
};

} // namespace

int64_t utf8ToUtf16(const char* source, uint16_t* destination, int64_t capacity) {
    Utf16Sink sink(destination, capacity);
    if (source == nullptr) {
        return sink.Finish();
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(source);
    bool afterLoneHigh = false;
    while (*bytes != 0) {
        if (sink.Full()) {
            return sink.count;
        }
        const uint8_t lead = *bytes;
        if (lead < 0x80) {
            sink.Single(lead);
            ++bytes;
            afterLoneHigh = false;
            continue;
        }
        const int n = leadingOnes(lead);
        int consumed = 1;
        bool valid = false;
        uint64_t value = 0;
        if (n >= 2) {
            value = lead & (0x3Fu >> (n - 1));
            valid = true;
            for (; consumed < n; ++consumed) {
                const uint8_t next = bytes[consumed];
                if ((next & 0xC0) != 0x80) {
                    valid = false; // not consumed: it starts the next sequence
                    break;
                }
                value = (value << 6) | (next & 0x3F);
            }
            valid = valid && value > LengthLimit[n - 2] &&
                    !(value >= EscapeBase && value < EscapeEnd) && value < 0x110000 &&
                    !(afterLoneHigh && isLowSurrogate(uint32_t(value)));
        }
        if (!valid) {
            for (int i = 0; i < consumed; ++i) {
                if (!sink.Pair(EscapeHigh, uint16_t(EscapeLowBase + bytes[i]))) {
                    return sink.count;
                }
            }
            afterLoneHigh = false;
        } else if (value < 0x10000) {
            sink.Single(uint16_t(value));
            afterLoneHigh = isHighSurrogate(uint32_t(value));
        } else {
            const uint32_t offset = uint32_t(value) - 0x10000;
            if (!sink.Pair(uint16_t(0xD800 + (offset >> 10)),
                           uint16_t(0xDC00 + (offset & 0x3FF)))) {
                return sink.count;
            }
            afterLoneHigh = false;
        }
        bytes += consumed;
    }
    return sink.Finish();
}

int64_t utf16ToUtf8(const uint16_t* source, char* destination, int64_t capacity) {
    int64_t count = 0;
    auto finish = [&]() {
        if (destination != nullptr && count < capacity) {
            destination[count] = '\0';
        }
        return count;
    };
    if (source == nullptr) {
        return finish();
    }
    while (*source != 0) {
        if (destination != nullptr && count >= capacity) {
            return count;
        }
        uint32_t codePoint = *source++;
        if (isHighSurrogate(codePoint) && isLowSurrogate(*source)) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (uint32_t(*source++) - 0xDC00);
        }
        if (codePoint >= EscapeBase && codePoint < EscapeEnd) {
            if (destination != nullptr) {
                destination[count] = static_cast<char>(codePoint & 0xFF);
            }
            ++count;
            continue;
        }
        int k = 0;
        while (codePoint > LengthLimit[k]) {
            ++k;
        }
        if (destination != nullptr && k > 0 && capacity - count <= k) {
            if (count < capacity) {
                destination[count] = '\0';
            }
            return count;
        }
        if (destination != nullptr) {
            if (k == 0) {
                destination[count] = static_cast<char>(codePoint);
            } else {
                const uint32_t leadMarker = (0xFF00u >> (k + 1)) & 0xFF;
                destination[count] = static_cast<char>(leadMarker | (codePoint >> (6 * k)));
                for (int i = 1; i <= k; ++i) {
                    destination[count + i] =
                        static_cast<char>(0x80 | ((codePoint >> (6 * (k - i))) & 0x3F));
                }
            }
        }
        count += k + 1;
    }
    return finish();
}
