// SPDX-License-Identifier: Apache-2.0
// kordemo: what a host sees through the public header.
#include <korloader/IKor.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool check(const char* what, bool passed) {
    std::printf("  %-44s %s\n", what, passed ? "ok" : "FAILED");
    return passed;
}

} // namespace

int main() {
    const unsigned version = FluxaSimSDKGetVersionNumber();
    std::printf("korloader %u.%u.%u\n", (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                version & 0xFF);
    std::printf("self-check:\n");
    bool passed = check("version number is 0x30400", version == 0x30400);
    passed &= check("thread pool of 2 threads on request", korSetThreadCount(2) == 2);
    passed &= check("thread pool removed again", korSetThreadCount(0) == 0);
    const std::string log = std::string(P_tmpdir) + "/kordemo.log";
    passed &= check("log file can be set", korSetLogFile(log.c_str(), 1) == 1);
    passed &= check("log turned off again", korSetLogFile(nullptr, 0) == 1);
    std::remove(log.c_str());
    return passed ? EXIT_SUCCESS : EXIT_FAILURE;
}
