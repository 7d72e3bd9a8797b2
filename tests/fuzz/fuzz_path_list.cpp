// SPDX-License-Identifier: Apache-2.0
// Directory lists of arbitrary bytes: every entry is non-empty, free of ';', at most 1023
// characters, and composes into a module path without overflowing its buffer.
#include "foreign/PathListTokenizer.h"
#include "foreign/PluginModules.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char* const list = static_cast<char*>(std::malloc(size + 1));
    if (list == nullptr) {
        return 0;
    }
    std::memcpy(list, data, size);
    list[size] = '\0';

    PathListTokenizer tokenizer;
    for (const char* entry = tokenizer.first(list); entry != nullptr; entry = tokenizer.next()) {
        const size_t length = std::strlen(entry);
        if (length == 0 || length > PathListTokenizer::EntryCharacters ||
            std::strchr(entry, ';') != nullptr) {
            std::abort();
        }
    }
    char path[ModulePathBytes];
    (void)composeModulePath(path, list, "fuzz", "f3dbridge");
    std::free(list);
    return 0;
}
