// SPDX-License-Identifier: Apache-2.0
// The registry of open frames and the exported functions that open and release them.
#include "loader/FrameRegistry.h"

#include "foreign/ChannelMappings.h"
#include "frame/LoadResult.h"
#include "loader/FrameFormats.h"
#include "support/Messages.h"

#include <cstdint>
#include <mutex>
#include <new>

namespace FluxaFrame {

FrameDataArray::~FrameDataArray() {
    destroyAll();
}

void FrameDataArray::destroyAll() {
    for (int32_t i = Count() - 1; i >= 0; --i) {
        FluxaFrameData* frame = (*this)[i];
        logMessage("Fluxa cache file not released %d ref:%d\n", frame->frameNumber,
                   frame->refCount);
        delete frame;
    }
    SetSize(0);
}

namespace {

// One object, so that the lock is built before the array and outlives its destructor.
struct Registry {
    std::mutex mutex;
    FrameDataArray frames;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

} // namespace

FrameDataArray& registeredFrames() {
    return registry().frames;
}

std::mutex& registryMutex() {
    return registry().mutex;
}

} // namespace FluxaFrame

namespace {

// Low 32 bits, as the log has always shown frame addresses.
unsigned addressForLog(const FluxaFrameData* frame) {
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(frame));
}

using RegistryLock = std::lock_guard<std::mutex>;

// The caller holds the registry lock.
FluxaFrameData* findFrame(const char* path, const CharString& mapping) {
    FluxaFrame::FrameDataArray& frames = FluxaFrame::registeredFrames();
    for (int32_t i = 0; i < frames.Count(); ++i) {
        if (frames[i]->path.Equals(path) && frames[i]->mapping.Equals(mapping)) {
            return frames[i];
        }
    }
    return nullptr;
}

// Another thread may have registered the same key while this one read the file: the
// frame registered first is shared and the late copy dropped, so that a key keeps one frame.
FluxaFrameData* registerLoaded(FluxaFrameData* frame) {
    FluxaFrameData* shared = nullptr;
    {
        const RegistryLock lock(FluxaFrame::registryMutex());
        shared = findFrame(frame->path.Chars(), frame->mapping);
        if (shared == nullptr) {
            return addRef(frame);
        }
        addRef(shared);
    }
    delete frame;
    return shared;
}

FluxaFrameData* openFrame(const char* path, const char* mapping) {
    const CharString mappingString(mapping);
    {
        const RegistryLock lock(FluxaFrame::registryMutex());
        if (FluxaFrameData* shared = findFrame(path, mappingString)) {
            return addRef(shared);
        }
    }
    // Read without the lock, so that frames of different files load in parallel.
    FluxaFrameData* frame = new (std::nothrow) FluxaFrameData();
    if (frame == nullptr) {
        return nullptr;
    }
    if (loadFrame(frame, path, mappingString) != LoadOk) {
        delete frame;
        return nullptr;
    }
    frame->path = path;
    frame->mapping = mappingString;
    return registerLoaded(frame);
}

// Lowers the count of a registered frame and, with its last reference, takes it out of
// the registry in the same step, so that no lookup finds a frame about to be destroyed.
// Returns the frame for the caller to destroy, or null. The caller holds the registry lock.
FluxaFrameData* releaseReference(const IKor* handle) {
    FluxaFrame::FrameDataArray& frames = FluxaFrame::registeredFrames();
    // Compared as addresses only: the handle may point at nothing alive.
    int32_t index = -1;
    for (int32_t i = 0; i < frames.Count(); ++i) {
        if (static_cast<IKor*>(frames[i]) == handle) {
            index = i;
            break;
        }
    }
    if (handle == nullptr || index < 0) {
        return nullptr;
    }
    FluxaFrameData* frame = frames[index];
    --frame->refCount;
    logMessage("FluxaFrameData refCount-- %08X %d, %s\n", addressForLog(frame), frame->refCount,
               frame->path.Chars());
    if (frame->refCount >= 1) {
        return nullptr;
    }
    frames[index] = frames[frames.Count() - 1];
    frames.SetSize(frames.Count() - 1, nullptr, true);
    return frame;
}

} // namespace

FluxaFrameData* addRef(FluxaFrameData* frame) {
    if (frame == nullptr) {
        return nullptr;
    }
    FluxaFrame::FrameDataArray& frames = FluxaFrame::registeredFrames();
    if (frames.Find(frame) >= 0) {
        ++frame->refCount;
    } else {
        // A registry that cannot grow empties itself; the frame is handed out regardless.
        if (frames.SetSize(frames.Count() + 1)) {
            frames[frames.Count() - 1] = frame;
        }
        frame->refCount = 1;
    }
    logMessage("FluxaFrameData refCount++ %08X %d, %s\n", addressForLog(frame), frame->refCount,
               frame->path.Chars());
    return frame;
}

void destroyAllFrames() {
    const RegistryLock lock(FluxaFrame::registryMutex());
    FluxaFrame::registeredFrames().destroyAll();
}

IKor* newIKorWithChannelsMapping(const char* path, const char* mapping) {
    try {
        return openFrame(path, mapping);
    } catch (...) {
        return nullptr;
    }
}

IKor* newIKor(const char* path) {
    try {
        // Empty for "kor" paths; the foreign formats map the grids the file offers.
        const CharString mapping = generateDefaultMappings(path);
        return openFrame(path, mapping.Chars());
    } catch (...) {
        return nullptr;
    }
}

void deleteIKor(IKor* handle) {
    FluxaFrameData* released = nullptr;
    {
        const RegistryLock lock(FluxaFrame::registryMutex());
        released = releaseReference(handle);
    }
    // Destroying a frame waits for its job workers to leave; other frames open meanwhile.
    delete released;
}
