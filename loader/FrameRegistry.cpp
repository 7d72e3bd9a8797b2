// SPDX-License-Identifier: Apache-2.0
// The registry of open frames and the exported functions that open and release them.
#include "loader/FrameRegistry.h"

#include "foreign/ChannelMappings.h"
#include "frame/LoadResult.h"
#include "loader/FrameFormats.h"
#include "support/Messages.h"

#include <cstdint>
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

FrameDataArray& registeredFrames() {
    static FrameDataArray frames;
    return frames;
}

} // namespace FluxaFrame

namespace {

// Low 32 bits, as the log has always shown frame addresses.
unsigned addressForLog(const FluxaFrameData* frame) {
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(frame));
}

FluxaFrameData* findFrame(const char* path, const CharString& mapping) {
    FluxaFrame::FrameDataArray& frames = FluxaFrame::registeredFrames();
    for (int32_t i = 0; i < frames.Count(); ++i) {
        if (frames[i]->path.Equals(path) && frames[i]->mapping.Equals(mapping)) {
            return frames[i];
        }
    }
    return nullptr;
}

FluxaFrameData* openFrame(const char* path, const char* mapping) {
    const CharString mappingString(mapping);
    if (FluxaFrameData* shared = findFrame(path, mappingString)) {
        return addRef(shared);
    }
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
    return addRef(frame);
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
        return;
    }
    FluxaFrameData* frame = frames[index];
    --frame->refCount;
    logMessage("FluxaFrameData refCount-- %08X %d, %s\n", addressForLog(frame), frame->refCount,
               frame->path.Chars());
    if (frame->refCount < 1) {
        delete frame;
        frames[index] = frames[frames.Count() - 1];
        frames.SetSize(frames.Count() - 1, nullptr, true);
    }
}
