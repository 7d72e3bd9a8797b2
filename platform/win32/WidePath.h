// SPDX-License-Identifier: Apache-2.0
// UTF-8 text as the wide-character Windows calls take it, converted with the library's
// lossless UTF-8 / UTF-16 mapping, so that any byte string names the same file on the way
// in and comes back unchanged from a directory listing.
#pragma once

#include <cstdint>

namespace Platform {

// A heap copy of a UTF-8 string in UTF-16; Get() is null for a null input or when
// memory runs out.
class WidePath {
public:
    explicit WidePath(const char* utf8);
    ~WidePath();
    WidePath(const WidePath&) = delete;
    WidePath& operator=(const WidePath&) = delete;

    const wchar_t* Get() const { return reinterpret_cast<const wchar_t*>(units); }
    // Turns every '/' into '\', which the module loader asks for.
    void UseBackslashes();

private:
    uint16_t* units = nullptr;
};

// Converts a wide name from the system into UTF-8 in buffer (bytes); false when it does
// not fit whole.
bool narrowName(const wchar_t* name, char* buffer, int64_t bufferBytes);

} // namespace Platform
