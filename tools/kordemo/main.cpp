// SPDX-License-Identifier: Apache-2.0
// kordemo: what a host sees through the public header.
#include <cstdio>
#include <korloader/IKor.h>

int main() {
    const unsigned version = FluxaSimSDKGetVersionNumber();
    std::printf("korloader %u.%u.%u\n", (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                version & 0xFF);
    return 0;
}
