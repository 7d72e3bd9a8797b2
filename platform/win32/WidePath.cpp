// SPDX-License-Identifier: Apache-2.0
#include "platform/win32/WidePath.h"

#include "support/Utf8.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "Windows wide characters are UTF-16 units");

namespace Platform {

WidePath::WidePath(const char* utf8) {
    if (utf8 == nullptr) {
        return;
    }
    const int64_t count = utf8ToUtf16(utf8, nullptr, 0);
    units = static_cast<uint16_t*>(std::malloc(static_cast<size_t>(count + 1) * sizeof(uint16_t)));
    if (units != nullptr) {
        utf8ToUtf16(utf8, units, count + 1);
    }
}

WidePath::~WidePath() {
    std::free(units);
}

void WidePath::UseBackslashes() {
    for (uint16_t* unit = units; unit != nullptr && *unit != 0; ++unit) {
        if (*unit == '/') {
            *unit = '\\';
        }
    }
}

bool narrowName(const wchar_t* name, char* buffer, int64_t bufferBytes) {
    // The system's wide characters are copied into our own unit type before conversion
    // rather than read through a cast.
    const size_t length = std::wcslen(name);
    uint16_t* const units = static_cast<uint16_t*>(std::malloc((length + 1) * sizeof(uint16_t)));
    if (units == nullptr) {
        return false;
    }
    std::memcpy(units, name, (length + 1) * sizeof(uint16_t));
    const bool fits = utf16ToUtf8(units, nullptr, 0) < bufferBytes;
    if (fits) {
        utf16ToUtf8(units, buffer, bufferBytes);
    }
    std::free(units);
    return fits;
}

} // namespace Platform
