// SPDX-License-Identifier: Apache-2.0
// Node and CPU lists are sysfs ranges such as "0-3,8,10-11". Nodes are taken from the
// online list rather than probed node0, node1, ... because offline or absent nodes leave
// gaps in the numbering.
#include "platform/posix/NumaNodes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace Platform {
namespace {

constexpr size_t LineBytes = 4096;
// Far beyond any machine; a corrupt list must neither overflow the sums nor make us probe
// billions of paths.
constexpr long MaxNodes = 4096;
constexpr long MaxRange = 1L << 20;

// Calls visit(first, last) for each range of the list, up to the first malformed entry.
template <typename Visit>
void forEachRange(const char* list, Visit visit) {
    const char* cursor = list;
    while (*cursor != '\0' && *cursor != '\n') {
        char* end = nullptr;
        const long first = std::strtol(cursor, &end, 10);
        if (end == cursor || first < 0) {
            return;
        }
        long last = first;
        cursor = end;
        if (*cursor == '-') {
            last = std::strtol(cursor + 1, &end, 10);
            cursor = end;
        }
        if (last >= first) {
            visit(first, last - first < MaxRange ? last : first + MaxRange);
        }
        if (*cursor == ',') {
            ++cursor;
        }
    }
}

bool readFirstLine(const char* path, char (&line)[LineBytes]) {
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        return false;
    }
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    return read;
}

long countCpus(const char* cpuListPath) {
    char list[LineBytes];
    long count = 0;
    if (readFirstLine(cpuListPath, list)) {
        forEachRange(list, [&count](long first, long last) {
            count = std::min(count + last - first + 1, MaxRange);
        });
    }
    return count;
}

} // namespace

int numaProcessorCountUnder(const char* nodeDirectory) {
    char path[LineBytes];
    char nodes[LineBytes];
    std::snprintf(path, sizeof path, "%s/online", nodeDirectory);
    if (!readFirstLine(path, nodes)) {
        return 0;
    }
    long total = 0;
    forEachRange(nodes, [&](long first, long last) {
        for (long node = first; node <= last && node < MaxNodes; ++node) {
            std::snprintf(path, sizeof path, "%s/node%ld/cpulist", nodeDirectory, node);
            total = std::min(total + countCpus(path), MaxRange);
        }
    });
    return static_cast<int>(total);
}

} // namespace Platform
