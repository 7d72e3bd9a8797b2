// SPDX-License-Identifier: Apache-2.0
// Runs a piece of a test in a child process whose address space is capped, so that a large
// allocation fails for real without the test machine running out of memory.
#pragma once

#include <cstdint>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kortest {

// Sanitizer runtimes reserve terabytes of shadow memory up front: no cap fits them.
constexpr bool runsUnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// The result (0 to 255) that work returns in a child limited to addressBytes; -1 when the
// child could not run or ended otherwise.
template <typename Work>
int runWithAddressSpace(int64_t addressBytes, Work work) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit = {static_cast<rlim_t>(addressBytes), static_cast<rlim_t>(addressBytes)};
        _exit(setrlimit(RLIMIT_AS, &limit) == 0 ? work() & 0xFF : 255);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace kortest
