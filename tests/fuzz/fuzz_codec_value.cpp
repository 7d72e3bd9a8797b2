// SPDX-License-Identifier: Apache-2.0
// EntropyCoder set-up and DecodeValue on arbitrary bytes, as the particle identifier
// reader drives them.
#include "codec/EntropyCoder.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> stream(data, data + size);
    stream.shrink_to_fit();
    EntropyCoder coder;
    if (!coder.InitDecoder(stream.data(), false, stream.size())) {
        return 0;
    }
    // Every value costs at least one bit unless the table has one entry.
    for (size_t i = 0; i < 4096 && !coder.HasOverrun(); ++i) {
        volatile uint32_t value = coder.DecodeValue();
        (void)value;
    }
    return 0;
}
