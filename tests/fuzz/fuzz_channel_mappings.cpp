// SPDX-License-Identifier: Apache-2.0
// Mapping strings of arbitrary bytes: parsing stops at the terminator, every entry can be
// fetched by index, and composing the parsed list parses back to the same list.
#include "foreign/ChannelMappings.h"
#include "korloader/KorMappings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the input plus its terminator, so that any over-read leaves the block.
    char* const mapping = static_cast<char*>(std::malloc(size + 1));
    if (mapping == nullptr) {
        return 0;
    }
    std::memcpy(mapping, data, size);
    mapping[size] = '\0';

    CacheIO::GridMappingList mappings;
    parseChannelMappings(mapping, mappings);
    char name[64];
    int channel = 0;
    for (int32_t i = 0; i <= mappings.Count(); ++i) {
        const int result =
            korDecomposeChannelMappingsString(&channel, name, sizeof name, mapping, i);
        if ((i < mappings.Count()) != (result != -1)) {
            std::abort();
        }
    }
    CharString composed;
    composeChannelMappings(mappings, composed);
    CacheIO::GridMappingList again;
    parseChannelMappings(composed.Chars(), again);
    if (again.Count() != mappings.Count()) {
        std::abort();
    }
    for (int32_t i = 0; i < again.Count(); ++i) {
        // Names holding ';' cannot survive a round trip; everything else must.
        if (std::strchr(mappings[i].name.Chars(), ';') == nullptr &&
            (again[i].channel != mappings[i].channel || !again[i].name.Equals(mappings[i].name))) {
            std::abort();
        }
    }
    std::free(mapping);
    return 0;
}
