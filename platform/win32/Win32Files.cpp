// SPDX-License-Identifier: Apache-2.0
// Files through the runtime's wide-character calls, so that a UTF-8 path reaches the file
// system whatever the process's code page is.
#include "platform/Platform.h"
#include "platform/win32/WidePath.h"

#include <cerrno>
#include <direct.h>
#include <io.h>

namespace Platform {

FILE* openFile(const char* utf8Path, const char* mode) {
    const WidePath widePath(utf8Path);
    const WidePath wideMode(mode);
    if (widePath.Get() == nullptr || wideMode.Get() == nullptr) {
        return nullptr;
    }
    return _wfopen(widePath.Get(), wideMode.Get());
}

bool seekFile(FILE* file, int64_t offset, int origin) {
    return _fseeki64(file, offset, origin) == 0;
}

int64_t tellFile(FILE* file) {
    return _ftelli64(file);
}

// The wide form of _access: the narrow one reads the path in the ANSI code page, so a
// module in a directory with non-ASCII characters would never be found.
bool fileExists(const char* utf8Path) {
    const WidePath widePath(utf8Path);
    return widePath.Get() != nullptr && _waccess(widePath.Get(), 0) == 0;
}

bool createDirectory(const char* utf8Path) {
    const WidePath widePath(utf8Path);
    return widePath.Get() != nullptr && (_wmkdir(widePath.Get()) == 0 || errno == EEXIST);
}

} // namespace Platform
