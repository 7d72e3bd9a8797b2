// SPDX-License-Identifier: Apache-2.0
// The process-wide registry of open frames, keyed by (path, mapping) as exact bytes. It is
// not locked: hosts serialise opening and releasing frames.
#pragma once

#include "frame/FluxaFrameData.h"
#include "support/CharString.h"
#include "support/iArray.h"

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

// The registry itself.
FrameDataArray& registeredFrames();

} // namespace FluxaFrame

// Registers a new frame with count 1, or raises the count of a registered one. Returns
// frame (null for null). A frame the registry cannot take is returned all the same.
FluxaFrameData* addRef(FluxaFrameData* frame);

// Called once when the library unloads.
void destroyAllFrames();
