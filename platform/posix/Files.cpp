// SPDX-License-Identifier: Apache-2.0
// Files by their UTF-8 byte names, which is what POSIX file systems store.
#include "platform/Platform.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

FILE* openFile(const char* utf8Path, const char* mode) {
    if (utf8Path == nullptr || mode == nullptr) {
        return nullptr;
    }
    return std::fopen(utf8Path, mode);
}

bool seekFile(FILE* file, int64_t offset, int origin) {
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

int64_t tellFile(FILE* file) {
    return static_cast<int64_t>(ftello(file));
}

bool fileExists(const char* utf8Path) {
    return utf8Path != nullptr && access(utf8Path, F_OK) == 0;
}

bool createDirectory(const char* utf8Path) {
    return utf8Path != nullptr && (mkdir(utf8Path, 0777) == 0 || errno == EEXIST);
}

} // namespace Platform
