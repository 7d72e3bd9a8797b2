// SPDX-License-Identifier: Apache-2.0
// Filling a frame from an OpenVDB or Field3D file through its plug-in, and bringing the
// result into the shape of a loaded frame: velocity complete or absent, a non-empty
// record table, and the host's axis convention.
#pragma once

#include "frame/FluxaFrameData.h"

// Results beyond the plug-ins' own codes, which pass through unchanged.
enum ForeignImportResult : int {
    ImportOk = 0,
    ImportPluginNotReady = 2,
    ImportNoMappings = 9,
    ExportFailed = 10,
};

// Import the file at path into the empty frame with the mapping string; headerOnly asks
// the plug-in for the header values only. 0, 2, 9, the plug-in's non-zero result, or 4
// when memory runs out afterwards.
int importF3dFrame(const char* path, FluxaFrameData* frame, const char* mapping, bool headerOnly);
int importVdbFrame(const char* path, FluxaFrameData* frame, const char* mapping, bool headerOnly);

// Hands a frame to the OpenVDB plug-in's export: its result, or 10 without one.
int exportVdbFrame(const char* path, FluxaFrameData* frame);

// Keeps velocity only when all three components are present.
void checkVelocityComplete(FluxaFrameData& frame);
