// SPDX-License-Identifier: Apache-2.0
// Mutation run through the public API, as a host would meet a damaged cache: each mutant of
// a seed file is opened with newIKor, every channel the frame serves is read in full, every
// particle value and identifier lookup is made, and the frame is released. Run it in a
// sanitizer build; a crash, a sanitizer report or a stalled mutant ends the run with the
// offending file kept in the output directory.
//
//   kor_mutate [--mutants N] [--seed S] [--out DIR] [--stall SECONDS] [--keep-going] SEED_FILE...
//   kor_mutate --replay FILE...
#include "korloader/IKor.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int mutants = 1000;
    uint64_t seed = 1;
    std::string out = ".";
    int stallSeconds = 60;
    bool replay = false;
    bool keepGoing = false;
    std::vector<std::string> files;
};

struct Totals {
    uint64_t mutants = 0;
    uint64_t opened = 0;
    uint64_t channels = 0;
    uint64_t voxels = 0;
    uint64_t particleValues = 0;
    uint64_t lookups = 0;
    uint64_t skippedLarge = 0;
    double slowestSeconds = 0;
};

// Every voxel and particle value served is read, which is what exposes a short array. A few
// bytes of constant blocks may rightly stand for a grid or a group of gigabytes; decoding
// those is slow, not wrong, so such frames and groups are only looked at.
constexpr int64_t MaxDecodedVoxels = int64_t(1) << 27;
constexpr int MaxDecodedParticles = 1 << 24;

std::atomic<uint64_t> progress{0};
std::atomic<bool> finished{false};
std::string currentFile;
// With --keep-going a broken promise is counted and its file kept, and the run goes on.
bool keepGoing = false;
std::string outDirectory;
int violations = 0;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string extensionOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? "kor" : path.substr(dot + 1);
}

uint32_t interestingWord(std::mt19937_64& random, uint32_t old) {
    static const uint32_t values[] = {
        0,          1,          2,          3,          4,         7,          8,
        16,         31,         32,         33,         63,        64,         127,
        128,        255,        256,        1023,       1024,      4096,       65535,
        65536,      0x7FFF,     0x8000,     0xFFFFFF,   0x1000000, 0x7FFFFFFF, 0x80000000,
        0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFF00, 0x40000000, 9999999,   1000,       1002};
    switch (random() % 3) {
    case 0:
        return values[random() % (sizeof values / sizeof values[0])];
    case 1:
        return old + uint32_t(int32_t(random() % 33) - 16);
    default:
        return old ^ (1u << (random() % 32));
    }
}

// One to a few edits of the kinds that damage real files: bit flips, integer fields set to
// edge values, truncation, lost or repeated ranges.
std::string mutate(const std::string& seed, std::mt19937_64& random) {
    std::string bytes = seed;
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
        const size_t at = size_t(random() % bytes.size());
        switch (random() % 8) {
        case 0:
        case 1:
            bytes[at] = char(uint8_t(bytes[at]) ^ (1u << (random() % 8)));
            break;
        case 2:
        case 3: {
            if (bytes.size() - at < 4) {
                break;
            }
            uint32_t word;
            std::memcpy(&word, bytes.data() + at, 4);
            word = interestingWord(random, word);
            std::memcpy(&bytes[at], &word, 4);
            break;
        }
        case 4:
            bytes[at] = char(random() % 2 == 0 ? 0 : 0xFF);
            break;
        case 5:
            bytes.resize(at);
            break;
        case 6:
            bytes.erase(at, size_t(1 + random() % 64));
            break;
        default: {
            const size_t from = size_t(random() % bytes.size());
            const size_t length = std::min<size_t>(1 + random() % 64, bytes.size() - from);
            bytes.insert(at, bytes.substr(from, length));
            break;
        }
        }
    }
    return bytes;
}

void violation(const char* format, int a, int b = 0, int c = 0, int d = 0) {
    std::fprintf(stderr, format, a, b, c, d);
    if (!keepGoing) {
        std::abort();
    }
    const std::string kept = outDirectory + "/violation-" + std::to_string(++violations) + "." +
                             extensionOf(currentFile);
    writeFile(kept, readFile(currentFile));
    std::fprintf(stderr, "  kept as %s\n", kept.c_str());
}

// Adds into a value the compiler cannot drop, so every read really happens.
void consume(const void* data, size_t bytes) {
    static volatile uint8_t sink;
    uint8_t x = 0;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        x ^= p[i];
    }
    sink = uint8_t(sink + x);
}

void readGroup(IFluxaSimPrtGroup* group, Totals& totals) {
    const char* name = group->getName();
    if (name != nullptr) {
        consume(name, std::strlen(name));
    }
    const int count = group->getParticleCount();
    if (count > MaxDecodedParticles) {
        ++totals.skippedLarge;
        return;
    }
    uint8_t value[64];
    for (int c = -1; c <= 32; ++c) {
        group->getChannelSize(c);
        group->getChannelType(c);
        group->getChannelComponents(c);
        if (!group->hasChannel(c)) {
            continue;
        }
        const int size = group->getChannelSize(c);
        if (size < 0 || size > 16) {
            violation("channel %d of a group reports %d bytes per particle\n", c, size);
            continue;
        }
        for (int p = 0; p < count; ++p) {
            if (group->getValue(p, c, value)) {
                consume(value, size_t(size));
                ++totals.particleValues;
            }
        }
        group->getValue(-1, c, value);
        group->getValue(count, c, value);
    }
    int64_t id = 0;
    if (count > 0 && group->hasChannel(10) && group->getValue(count / 2, 10, &id)) {
        group->findParticleById(id);
        ++totals.lookups;
    }
    group->findParticleById(-1);
    group->findParticleById(0);
    group->findParticleById(INT64_MAX);
    totals.lookups += 3;
}

void readFrame(IKor* frame, Totals& totals) {
    int size[3] = {0, 0, 0};
    frame->getGridSize(size);
    float transform[12];
    frame->getTransform(transform);
    const bool negative = size[0] < 0 || size[1] < 0 || size[2] < 0;
    const int64_t plane = negative ? 0 : int64_t(size[0]) * size[1];
    const bool large = plane > 0 && size[2] > MaxDecodedVoxels / plane;
    const int64_t voxels = large ? 0 : plane * size[2];
    totals.skippedLarge += large ? 1 : 0;
    for (int c = -1; c <= 32; ++c) {
        frame->hasChannel(c);
        const float* data = large ? nullptr : frame->getChannel(c);
        if (data == nullptr) {
            continue;
        }
        if (negative) {
            violation("channel %d served for a grid of %d x %d x %d\n", c, size[0], size[1],
                      size[2]);
            continue;
        }
        ++totals.channels;
        consume(data, size_t(voxels) * sizeof(float));
        totals.voxels += uint64_t(voxels);
        if (frame->getChannel(c) != data) {
            violation("channel %d changed its array between requests\n", c);
        }
    }
    const int groups = frame->getParticleGroupCount();
    for (int g = 0; g <= groups; ++g) {
        IFluxaSimPrtGroup* group = frame->getParticleGroup(unsigned(g));
        if (group == nullptr) {
            continue;
        }
        readGroup(group, totals);
        frame->getParticleGroupByName(group->getName());
    }
    frame->getParticleGroupByName(nullptr);
    frame->getParticleGroupByName("");
}

void exercise(const std::string& path, Totals& totals) {
    const auto start = std::chrono::steady_clock::now();
    IKor* frame = newIKor(path.c_str());
    if (frame != nullptr) {
        ++totals.opened;
        readFrame(frame, totals);
        deleteIKor(frame);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    totals.slowestSeconds = std::max(totals.slowestSeconds, seconds);
    ++totals.mutants;
    ++progress;
}

// A mutant that makes no progress for the stall time is reported as a hang.
void watch(int stallSeconds) {
    uint64_t last = progress.load();
    auto since = std::chrono::steady_clock::now();
    while (!finished.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const uint64_t now = progress.load();
        if (now != last) {
            last = now;
            since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - since > std::chrono::seconds(stallSeconds)) {
            std::fprintf(stderr, "no progress for %d s on %s\n", stallSeconds, currentFile.c_str());
            std::abort();
        }
    }
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--mutants" && hasValue) {
            options.mutants = std::atoi(argv[++i]);
        } else if (arg == "--seed" && hasValue) {
            options.seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--out" && hasValue) {
            options.out = argv[++i];
        } else if (arg == "--stall" && hasValue) {
            options.stallSeconds = std::atoi(argv[++i]);
        } else if (arg == "--keep-going") {
            options.keepGoing = true;
        } else if (arg == "--replay") {
            options.replay = true;
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options.files.push_back(arg);
        }
    }
    return !options.files.empty();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: kor_mutate [--mutants N] [--seed S] [--out DIR] "
                             "[--stall SECONDS] [--keep-going] SEED_FILE...\n"
                             "       kor_mutate --replay FILE...\n");
        return 2;
    }
    keepGoing = options.keepGoing;
    outDirectory = options.out;
    initalizeKoraLoader(nullptr, nullptr, 0);
    std::thread watchdog(watch, options.stallSeconds);
    Totals totals;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : options.files) {
        if (options.replay) {
            currentFile = file;
            exercise(file, totals);
            continue;
        }
        const std::string seed = readFile(file);
        std::mt19937_64 random(options.seed ^ std::hash<std::string>()(file));
        // The mutant in hand stays on disk, so whatever ends the run leaves it behind.
        currentFile = options.out + "/mutant." + extensionOf(file);
        for (int m = 0; m < options.mutants; ++m) {
            writeFile(currentFile, mutate(seed, random));
            exercise(currentFile, totals);
        }
    }
    finished = true;
    watchdog.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%" PRIu64 " files, %" PRIu64 " opened, %" PRIu64 " channels (%" PRIu64
                " voxels) read, %" PRIu64 " particle values, %" PRIu64 " id lookups; %" PRIu64
                " frames or groups too large to decode; slowest %.2f s,"
                " total %.1f s\n",
                totals.mutants, totals.opened, totals.channels, totals.voxels,
                totals.particleValues, totals.lookups, totals.skippedLarge, totals.slowestSeconds,
                seconds);
    if (violations > 0) {
        std::printf("%d broken promises, files kept in %s\n", violations, options.out.c_str());
    }
    return violations > 0 ? 1 : 0;
}
