// SPDX-License-Identifier: Apache-2.0
#include "ReferenceDecoder.h"

#include <cstring>
#include <string>
#include <utility>

namespace kortest {

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

float f32At(const std::vector<uint8_t>& b, size_t at) {
    const uint32_t bitsOf = le32(b, at);
    float value;
    std::memcpy(&value, &bitsOf, 4);
    return value;
}

} // namespace

ReferenceCoder::ReferenceCoder(const std::vector<uint8_t>& stream, size_t start)
    : bytes(stream), bitIndex(uint64_t(start) * 8) {}

ReferenceCoder::~ReferenceCoder() = default;

uint32_t ReferenceCoder::Bit() {
    const uint64_t byte = bitIndex / 8;
    const uint32_t shift = static_cast<uint32_t>(bitIndex % 8);
    ++bitIndex;
    if (byte >= bytes.size()) {
        overrun = true;
        return 0;
    }
    return (bytes[byte] >> shift) & 1u;
}

uint32_t ReferenceCoder::Field(int bits) {
    uint64_t value = 0;
    for (int j = 0; j < bits; ++j) {
        value |= uint64_t(Bit()) << j;
    }
    return static_cast<uint32_t>(value);
}

bool ReferenceCoder::Build(Node* node, uint32_t first, uint32_t count, uint64_t sum, int depth) {
    if (count == 1) {
        node->value = symbols[first];
        return true;
    }
    if (count < 1) {
        return true;
    }
    if (depth > 200) {
        return false;
    }
    const uint64_t half = sum >> 1;
    uint64_t running = 0;
    uint32_t leftCount = count;
    uint64_t leftSum = 0;
    for (uint32_t i = first; i < first + count; ++i) {
        const uint64_t before = running;
        running += static_cast<uint64_t>(static_cast<int64_t>(frequencies[i]));
        if (running >= half) {
            const uint64_t over = running - half;
            const uint64_t under = half - before;
            if (over <= under) {
                leftCount = i - first + 1;
                leftSum = running;
            } else {
                leftCount = i - first;
                leftSum = before;
            }
            break;
        }
        leftSum = running;
    }
    if (leftCount == 0 || leftCount == count) {
        return false;
    }
    node->children[0] = &pool[nextFree++];
    node->children[1] = &pool[nextFree++];
    return Build(node->children[0], first, leftCount, leftSum, depth + 1) &&
           Build(node->children[1], first + leftCount, count - leftCount, sum - leftSum, depth + 1);
}

bool ReferenceCoder::Init() {
    width = Field(8);
    if (width != 0) {
        bias = static_cast<int32_t>(Field(32));
        return width <= 32;
    }
    const uint32_t count = Field(32);
    bias = static_cast<int32_t>(Field(32));
    const uint32_t frequencyBits = Field(6);
    const uint32_t symbolBits = Field(6);
    if (count == 0 || count > (1u << 20) || frequencyBits > 32 || symbolBits > 32) {
        return false;
    }
    int32_t frequency = 0;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (Bit() != 0) {
            frequency = static_cast<int32_t>(Field(static_cast<int>(frequencyBits)));
        }
        frequencies.push_back(frequency);
        symbols.push_back(Field(static_cast<int>(symbolBits)));
        total += static_cast<uint64_t>(static_cast<int64_t>(frequency));
    }
    pool.assign(2 * size_t(count), Node());
    nextFree = 1;
    return Build(&pool[0], 0, count, total, 0);
}

uint32_t ReferenceCoder::Symbol() {
    if (width != 0) {
        return Field(static_cast<int>(width));
    }
    const Node* node = &pool[0];
    while (node->children[0] != nullptr) {
        node = node->children[Bit()];
    }
    return node->value;
}

void ReferenceCoder::CollectCodes(const Node* node, const std::string& prefix,
                                  std::vector<std::string>& codes) const {
    if (node->children[0] == nullptr) {
        for (size_t i = 0; i < symbols.size(); ++i) {
            if (symbols[i] == node->value) {
                codes[i] = prefix;
            }
        }
        return;
    }
    CollectCodes(node->children[0], prefix + "0", codes);
    CollectCodes(node->children[1], prefix + "1", codes);
}

std::vector<std::string> ReferenceCoder::Codes() const {
    std::vector<std::string> codes(symbols.size());
    CollectCodes(&pool[0], "", codes);
    return codes;
}

ReferenceResult referenceDecode(const std::vector<uint8_t>& stream, int axes) {
    ReferenceResult result;
    if (stream.size() < 3 || stream[0] != 0x01 || stream[1] != 0xFC) {
        return result;
    }
    const uint8_t method = stream[2];
    if (method == 0 || method == 1) {
        const uint32_t count = le32(stream, 3);
        result.recognised = true;
        for (uint32_t i = 0; i < count; ++i) {
            result.values.push_back(f32At(stream, method == 0 ? 7 + 4 * size_t(i) : 7));
        }
        return result;
    }
    if (method != 2) {
        return result;
    }
    size_t at = 3;
    int64_t extent[3] = {1, 1, 1};
    for (size_t a = 0; a < static_cast<size_t>(axes); ++a, at += 4) {
        extent[a] = le32(stream, at);
    }
    const float scale = f32At(stream, at);
    float offset = f32At(stream, at + 4);
    const int32_t base = static_cast<int32_t>(le32(stream, at + 8));
    const uint32_t passes = stream[at + 12];
    at += 13;
    if (offset > 0 && offset < 1e-20f) {
        offset = 0;
    }
    const int64_t elements = extent[0] * extent[1] * extent[2];
    result.recognised = true;
    if (elements == 0) {
        return result;
    }
    ReferenceCoder coder(stream, at);
    if (!coder.Init()) {
        result.recognised = false;
        result.overrun = coder.overrun;
        return result;
    }
    // DecodeAndExpand, one item at a time.
    std::vector<int32_t> q(static_cast<size_t>(elements));
    int64_t written = 0;
    while (written < elements) {
        const int32_t t = static_cast<int32_t>(coder.Symbol() + static_cast<uint32_t>(coder.bias));
        if (t >= 0) {
            q[written++] =
                static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(base));
            continue;
        }
        if (written == 0) {
            result.runAtStart = true;
            return result;
        }
        const int32_t previous = q[written - 1];
        const uint64_t run = 0u - static_cast<uint32_t>(t);
        for (uint64_t r = 0; r < run; ++r) {
            if (written == elements) {
                result.overshoot = true;
                break;
            }
            q[written++] = previous;
        }
        if (result.overshoot) {
            break;
        }
    }
    result.overrun = coder.overrun;
    // Undo the differencing in the documented order: per pass, per axis, lines with
    // axis (a + 1) % 3 fastest.
    for (uint32_t p = passes; p >= 1; --p) {
        for (int a = 0; a < axes; ++a) {
            const int b = (a + 1) % 3;
            const int c = (a + 2) % 3;
            const int64_t stride[3] = {1, extent[0], extent[0] * extent[1]};
            for (int64_t y = 0; y < (axes == 1 ? 1 : extent[c]); ++y) {
                for (int64_t x = 0; x < (axes == 1 ? 1 : extent[b]); ++x) {
                    const int64_t lineStart = x * stride[b] + y * stride[c];
                    for (int64_t i = p; i < extent[a]; ++i) {
                        uint32_t& cell = reinterpret_cast<uint32_t&>(q[lineStart + i * stride[a]]);
                        cell += static_cast<uint32_t>(q[lineStart + (i - 1) * stride[a]]);
                    }
                }
            }
        }
    }
    const float inverse = 1.0f / scale;
    result.values.reserve(static_cast<size_t>(elements));
    for (int64_t e = 0; e < elements; ++e) {
        const float product = static_cast<float>(q[e]) * inverse;
        result.values.push_back(product + offset);
    }
    result.integers = std::move(q);
    return result;
}

} // namespace kortest
