// SPDX-License-Identifier: Apache-2.0
// A host project built against the installed package.
#include <cstdio>
#include <korloader/IKor.h>

int main() {
    const unsigned version = FluxaSimSDKGetVersionNumber();
    std::printf("korloader %u.%u.%u\n", version >> 16, (version >> 8) & 0xFF, version & 0xFF);
    return version == 0x30400 ? 0 : 1;
}
