// SPDX-License-Identifier: Apache-2.0
// A deliberately literal decoder for the tests: one bit at a time, down a pointer tree,
// into a full integer work array, integrated line by line in the documented line order.
// It is slow and obviously right; the library's decoder must agree with it bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kortest {

struct ReferenceResult {
    bool recognised = false; // magic and method known, table well-formed
    bool overrun = false;    // a bit past the end of the stream was needed
    bool runAtStart = false; // the first item was a run marker
    bool overshoot = false;  // a run asked for more integers than the grid holds
    std::vector<float> values;
    std::vector<int32_t> integers; // coded blocks: the work array after integration
};

// Decodes a single-block stream for data with axes (1 or 3) axes.
ReferenceResult referenceDecode(const std::vector<uint8_t>& stream, int axes);

// The literal coder alone: items of a coder stream starting at byte `start`.
struct ReferenceCoder {
    ReferenceCoder(const std::vector<uint8_t>& stream, size_t start);
    ~ReferenceCoder();
    ReferenceCoder(const ReferenceCoder&) = delete;
    ReferenceCoder& operator=(const ReferenceCoder&) = delete;

    bool Init();
    uint32_t Symbol();
    uint32_t Bit();
    uint32_t Field(int bits);
    // (code bits in stream order as a string of '0'/'1', one per entry of srt)
    std::vector<std::string> Codes() const;

    struct Node {
        uint32_t value = 0;
        Node* children[2] = {nullptr, nullptr};
    };
    bool Build(Node* node, uint32_t first, uint32_t count, uint64_t sum, int depth);
    void CollectCodes(const Node* node, const std::string& prefix,
                      std::vector<std::string>& codes) const;

    const std::vector<uint8_t>& bytes;
    uint64_t bitIndex;
    bool overrun = false;
    uint32_t width = 0;
    int32_t bias = 0;
    std::vector<uint32_t> symbols;
    std::vector<int32_t> frequencies;
    std::vector<Node> pool;
    size_t nextFree = 0;
};

} // namespace kortest
