// SPDX-License-Identifier: Apache-2.0
// The plug-in reads the foreign file and places grids into channel slots; what happens
// around the call is fixed here. Plug-ins must not throw, so nothing is caught.
#include "foreign/ForeignImport.h"

#include "foreign/ChannelMappings.h"
#include "foreign/PluginModules.h"
#include "frame/LoadResult.h"
#include "support/Messages.h"
#include "support/NewArray.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t VelocityMaskBits = 0x70; // slots 4, 5 and 6

// Flips the sign bit only, so zeros become negative zeros.
float negated(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits ^= 0x80000000u;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A quarter turn about the first axis: with negateNewE2, e2 = -e3 and e3 = e2; without,
// e2 = e3 and e3 = -e2.
void turnAboutFirstAxis(float (&transform)[12], bool negateNewE2) {
    float e2[3];
    float e3[3];
    std::memcpy(e2, transform + 3, sizeof e2);
    std::memcpy(e3, transform + 6, sizeof e3);
    for (int i = 0; i < 3; ++i) {
        transform[3 + i] = negateNewE2 ? negated(e3[i]) : e3[i];
        transform[6 + i] = negateNewE2 ? e2[i] : negated(e2[i]);
    }
}

// Before either plug-in is called: ImportOk when it may be called with mappings.
int prepareImport(FluxaFrameData& frame, bool pluginReady, const char* mapping,
                  CacheIO::GridMappingList& mappings, const char* noMappingsMessage) {
    frame.resetHeader();
    if (!pluginReady) {
        return ImportPluginNotReady;
    }
    parseChannelMappings(mapping, mappings);
    if (mappings.Count() == 0) {
        logMessage("%s", noMappingsMessage);
        return ImportNoMappings;
    }
    return ImportOk;
}

// After either plug-in succeeded. The one-word record table only marks that the frame
// holds data; nothing reads its value.
int finishImport(FluxaFrameData& frame, bool turn, bool negateNewE2) {
    checkVelocityComplete(frame);
    delete[] frame.recordTable;
    frame.recordTable = nullptr;
    frame.recordWords = 0;
    if (!newArray(frame.recordTable, 1)) {
        return LoadBrokenFile;
    }
    frame.recordWords = 1;
    if (turn) {
        turnAboutFirstAxis(frame.transform, negateNewE2);
    }
    return ImportOk;
}

} // namespace

void checkVelocityComplete(FluxaFrameData& frame) {
    IKor& asHost = frame;
    int present = 0;
    for (int c = FluxaEnum::VelocityX; c <= FluxaEnum::VelocityZ; ++c) {
        present += frame.channelData[c] != nullptr || asHost.hasChannel(c) != 0 ? 1 : 0;
    }
    if (present == 3) {
        return;
    }
    frame.channelMask &= ~VelocityMaskBits;
    for (int c = FluxaEnum::VelocityX; c <= FluxaEnum::VelocityZ; ++c) {
        delete[] frame.channelData[c];
        frame.channelData[c] = nullptr;
    }
}

int importF3dFrame(const char* path, FluxaFrameData* frame, const char* mapping, bool headerOnly) {
    CacheIO::GridMappingList mappings;
    const int prepared = prepareImport(*frame, f3dPluginReady(), mapping, mappings,
                                       "Trying to import F3D files with no mappings specified!\n");
    if (prepared != ImportOk) {
        return prepared;
    }
    const int result = f3dPlugin().importFrameF3D(path, frame, headerOnly ? 1 : 0, mappings.Data(),
                                                  mappings.Count());
    if (result != ImportOk) {
        return result;
    }
    return finishImport(*frame, axisMode() == 2, false);
}

int importVdbFrame(const char* path, FluxaFrameData* frame, const char* mapping, bool headerOnly) {
    CacheIO::GridMappingList mappings;
    const int prepared = prepareImport(*frame, vdbPluginReady(), mapping, mappings,
                                       "Trying to import VDB files with no mappings specified!\n");
    if (prepared != ImportOk) {
        return prepared;
    }
    // Preset so that a plug-in that forgets to set it leaves the transform alone.
    int orientation = 1;
    const int result = vdbPlugin().importFrameVDB(path, frame, &orientation, headerOnly ? 1 : 0,
                                                  mappings.Data(), mappings.Count());
    if (result != ImportOk) {
        return result;
    }
    return finishImport(*frame, orientation == 0 && axisMode() == 1, true);
}

int exportVdbFrame(const char* path, FluxaFrameData* frame) {
    ExportFrameFunction* const exportFrame = vdbPlugin().exportFrame;
    return exportFrame != nullptr ? exportFrame(path, frame) : ExportFailed;
}
