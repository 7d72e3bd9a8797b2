// SPDX-License-Identifier: Apache-2.0
// The process-wide registry of open frames, keyed by (path, mapping) as exact bytes.
// Hosts open and release frames from any number of threads at once: one lock guards the
// registry and the reference counts of every registered frame.
#pragma once

#include "frame/FluxaFrameData.h"
#include "support/CharString.h"
#include "support/iArray.h"

#include <mutex>

namespace FluxaFrame {

// Unique frame pointers in no particular order. The array type does not own the frames,
// but destroying the registry destroys whatever is still registered.
class FrameDataArray : public iArray<FluxaFrameData*> {
public:
    FrameDataArray() = default;
    ~FrameDataArray() override;
    // Destroys every frame still registered, last first, logging each, and empties the
    // array.
    void destroyAll();
};

// The registry itself; read or change it only with registryMutex() held.
FrameDataArray& registeredFrames();

// Guards the registry and refCount of every frame in it. It is never held while a file is
// read, a plug-in is called or a frame is destroyed, except at unload. Lock order: this
// lock before the log's; no other lock is taken while it is held.
std::mutex& registryMutex();

} // namespace FluxaFrame

// Registers a new frame with count 1, or raises the count of a registered one. Returns
// frame (null for null). A frame the registry cannot take is returned all the same.
// The caller holds the registry lock.
FluxaFrameData* addRef(FluxaFrameData* frame);

// Called once when the library unloads.
void destroyAllFrames();
