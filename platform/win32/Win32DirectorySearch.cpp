// SPDX-License-Identifier: Apache-2.0
// FindFirstFileW / FindNextFileW: Windows matches '*' and '?' itself, without regard to
// letter case, as its file systems do. Names come back as UTF-8.
#include "platform/Platform.h"
#include "platform/win32/WidePath.h"

#include <cstdlib>
#include <windows.h>

namespace Platform {

// found.cFileName holds at most MAX_PATH units, and no unit becomes more than three bytes.
struct DirectorySearch::State {
    HANDLE find;
    WIN32_FIND_DATAW found;
    char name[MAX_PATH * 3 + 1];

    // Names from FindFirstFileW or FindNextFileW until one converts.
    bool Take(BOOL foundOne) {
        for (; foundOne; foundOne = FindNextFileW(find, &found)) {
            if (narrowName(found.cFileName, name, sizeof name)) {
                return true;
            }
        }
        return false;
    }
};

void DirectorySearch::Close() {
    if (state == nullptr) {
        return;
    }
    if (state->find != INVALID_HANDLE_VALUE) {
        FindClose(state->find);
    }
    std::free(state);
    state = nullptr;
}

bool DirectorySearch::First(const char* utf8Pattern) {
    Close();
    if (utf8Pattern == nullptr || *utf8Pattern == '\0') {
        return false;
    }
    const WidePath pattern(utf8Pattern);
    state = static_cast<State*>(std::malloc(sizeof(State)));
    if (pattern.Get() == nullptr || state == nullptr) {
        Close();
        return false;
    }
    state->find = FindFirstFileW(pattern.Get(), &state->found);
    return state->find != INVALID_HANDLE_VALUE && state->Take(TRUE);
}

bool DirectorySearch::Next() {
    return state != nullptr && state->find != INVALID_HANDLE_VALUE &&
           state->Take(FindNextFileW(state->find, &state->found));
}

const char* DirectorySearch::Name() const {
    return state != nullptr ? state->name : nullptr;
}

} // namespace Platform
