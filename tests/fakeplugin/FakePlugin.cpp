// SPDX-License-Identifier: Apache-2.0
// A stand-in for the OpenVDB and Field3D plug-ins. The "cache file" is a text description
// of what the plug-in reports, one item per line:
//   channel <name> [flagged]   a grid the file offers
//   grid <x> <y> <z>           grid size of imported frames
//   transform <12 floats>      transform of imported frames
//   orientation <n>            what ImportFrameVDB reports
//   fail <code>                the import fills what it can, then returns code
//   list <broken-count|overfull|half-filled>   GetAvailableChannels misbehaves
// Imported slot c holds (c * 1000 + i) * factor at voxel i. Compile definitions pick the
// module's variant: FAKE_FORMAT_VDB, FAKE_WITHOUT_EXPORT_FRAME,
// FAKE_WITHOUT_SET_THREAD_MANAGER, FAKE_INITIALIZE_RESULT, FAKE_VARIANT.
#include "foreign/PluginEntryPoints.h"
#include "frame/FluxaFrameData.h"
#include "support/NewArray.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FAKE_WITH_LEAK_CHECK 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define FAKE_WITH_LEAK_CHECK 1
#endif
#if defined(FAKE_WITH_LEAK_CHECK)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

struct Description {
    std::vector<std::pair<std::string, bool>> channels;
    int32_t grid[3] = {2, 2, 2};
    float transform[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    int orientation = 1;
    int failure = 0;
    std::string brokenList;
};

Description readDescription(const char* path) {
    Description description;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string item;
        words >> item;
        if (item == "channel") {
            std::string name;
            std::string flag;
            words >> name >> flag;
            description.channels.emplace_back(name, flag == "flagged");
        } else if (item == "grid") {
            words >> description.grid[0] >> description.grid[1] >> description.grid[2];
        } else if (item == "transform") {
            for (float& value : description.transform) {
                words >> value;
            }
        } else if (item == "orientation") {
            words >> description.orientation;
        } else if (item == "fail") {
            words >> description.failure;
        } else if (item == "list") {
            words >> description.brokenList;
        }
    }
    return description;
}

bool offers(const Description& description, const CharString& name) {
    for (const auto& channel : description.channels) {
        if (name.Equals(channel.first.c_str())) {
            return true;
        }
    }
    return false;
}

// iArray's count lives after the virtual table and the data pointer; a broken plug-in
// writes it directly.
void overwriteCount(CacheIO::AvailableChannelList* list, int32_t count) {
    std::memcpy(reinterpret_cast<unsigned char*>(list) + 16, &count, sizeof count);
}

// The library abandons a list it cannot trust, storage and all.
void expectAbandoned(const CacheIO::AvailableChannelList* list) {
#if defined(FAKE_WITH_LEAK_CHECK)
    __lsan_ignore_object(list->Data());
#else
    (void)list;
#endif
}

struct ImportRecord {
    int calls = 0;
    int headerOnly = -1;
    int mappingCount = -1;
    float firstFactor = 0.0f;
};
// Hosts may import on several threads at once.
std::mutex lastImportMutex;
ImportRecord lastImport;
std::atomic<int> initializeCalls{0};

int importFrame(const char* path, FluxaFrameData* frame, char headerOnly,
                const CacheIO::GridMapping* mappings, int count, int* orientation) {
    {
        const std::lock_guard<std::mutex> lock(lastImportMutex);
        lastImport.calls += 1;
        lastImport.headerOnly = headerOnly;
        lastImport.mappingCount = count;
        lastImport.firstFactor = count > 0 ? mappings[0].factor : 0.0f;
    }
    const Description description = readDescription(path);
    std::memcpy(frame->gridSize, description.grid, sizeof frame->gridSize);
    std::memcpy(frame->transform, description.transform, sizeof frame->transform);
    if (orientation != nullptr) {
        *orientation = description.orientation;
    }
    const int64_t voxels = int64_t(description.grid[0]) * description.grid[1] * description.grid[2];
    for (int m = 0; m < count && headerOnly == 0; ++m) {
        const int32_t slot = mappings[m].channel;
        if (slot < 0 || slot > 31 || frame->channelData[slot] != nullptr ||
            !offers(description, mappings[m].name)) {
            continue;
        }
        float* values = nullptr;
        if (!newArray(values, static_cast<uint64_t>(voxels))) {
            return 5;
        }
        for (int64_t i = 0; i < voxels; ++i) {
            values[i] = static_cast<float>(slot * 1000 + i) * mappings[m].factor;
        }
        frame->channelData[slot] = values;
        frame->channelMask |= 1u << slot;
    }
    return description.failure;
}

} // namespace

KOR_PLUGIN_ENTRY int Initialize() {
    ++initializeCalls;
    return FAKE_INITIALIZE_RESULT;
}

#if !defined(FAKE_WITHOUT_SET_THREAD_MANAGER)
KOR_PLUGIN_ENTRY void SetThreadManager() {}
#endif

KOR_PLUGIN_ENTRY void ReleaseThreadManager() {}

KOR_PLUGIN_ENTRY void GetAvailableChannels(const char* path,
                                           CacheIO::AvailableChannelList* channels) {
    const Description description = readDescription(path);
    for (const auto& channel : description.channels) {
        channels->Append(CacheIO::AvailableChannels(channel.first.c_str(), channel.second));
    }
    if (description.brokenList == "broken-count") {
        expectAbandoned(channels);
        overwriteCount(channels, -3);
    } else if (description.brokenList == "overfull") {
        expectAbandoned(channels);
        overwriteCount(channels, channels->Capacity() + 100);
    } else if (description.brokenList == "half-filled") {
        channels->SetSize(channels->Count() + 3);
    }
}

#if defined(FAKE_FORMAT_VDB)
KOR_PLUGIN_ENTRY int ImportFrameVDB(const char* path, FluxaFrameData* frame, int* orientation,
                                    char headerOnly, CacheIO::GridMapping* mappings, int count) {
    return importFrame(path, frame, headerOnly, mappings, count, orientation);
}
#else
KOR_PLUGIN_ENTRY int ImportFrameF3D(const char* path, FluxaFrameData* frame, char headerOnly,
                                    CacheIO::GridMapping* mappings, int count) {
    return importFrame(path, frame, headerOnly, mappings, count, nullptr);
}
#endif

#if defined(FAKE_FORMAT_VDB) && !defined(FAKE_WITHOUT_EXPORT_FRAME)
KOR_PLUGIN_ENTRY int ExportFrame(const char* path, FluxaFrameData* frame) {
    std::ofstream file(path);
    file << "grid " << frame->gridSize[0] << ' ' << frame->gridSize[1] << ' ' << frame->gridSize[2]
         << '\n';
    return file ? 0 : 11;
}
#endif

// Test hooks, looked up by the tests through the module handle.
KOR_PLUGIN_ENTRY const char* FakePluginVariant() {
    return FAKE_VARIANT;
}

KOR_PLUGIN_ENTRY int FakeInitializeCalls() {
    return initializeCalls.load();
}

KOR_PLUGIN_ENTRY void FakeLastImport(int* calls, int* headerOnly, int* mappingCount,
                                     float* firstFactor) {
    const std::lock_guard<std::mutex> lock(lastImportMutex);
    *calls = lastImport.calls;
    *headerOnly = lastImport.headerOnly;
    *mappingCount = lastImport.mappingCount;
    *firstFactor = lastImport.firstFactor;
}
