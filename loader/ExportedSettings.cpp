// SPDX-License-Identifier: Apache-2.0
// Exported functions that configure the library rather than read frames.
#include "korloader/IKor.h"
#include "support/Messages.h"

unsigned int FluxaSimSDKGetVersionNumber() {
    return 0x30400;
}

int korSetLogFile(const char* path, int truncate) {
    return setLogFilePath(path, truncate != 0) ? 1 : 0;
}
