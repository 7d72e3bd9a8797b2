// SPDX-License-Identifier: Apache-2.0
// The entry points of the "f3dbridge" and "vdbbridge" plug-in modules: what a plug-in
// exports and what the library resolves by name. A plug-in includes this header and
// defines the functions with KOR_PLUGIN_ENTRY so that a wrong signature fails to compile.
//
// Rules for plug-ins:
// - No exception may leave an entry point; the library does not catch any.
// - Strings and lists handed over belong to the library. Grow them only through
//   CharString and iArray, which allocate from the heap the library uses (link the
//   kor_plugin_sdk target), and never keep a pointer to them after returning.
// - Channel arrays placed in FluxaFrameData::channelData are allocated with newArray<float>
//   (gridSize product elements) and set the channel's channelMask bit; the frame releases
//   them with delete[]. recordTable is the library's: leave it null.
// - The library never calls SetThreadManager or ReleaseThreadManager, but a module
//   without them is rejected. ExportFrame and SetLogSink are optional.
#pragma once

#include "korloader/CacheIO.h"

class FluxaFrameData;

#if defined(_WIN32)
#define KOR_PLUGIN_ENTRY extern "C" __declspec(dllexport)
#else
#define KOR_PLUGIN_ENTRY extern "C" __attribute__((visibility("default")))
#endif

extern "C" {

// 0 when the module can work; any other value makes the library reject the module.
using InitializeFunction = int();
// Never called by the library; arguments are the plug-in's own affair.
using SetThreadManagerFunction = void();
using ReleaseThreadManagerFunction = void();
// Appends the grids the file at path (UTF-8) offers to channels.
using GetAvailableChannelsFunction = void(const char* path,
                                          CacheIO::AvailableChannelList* channels);
// Fills frame from the Field3D file at path; headerOnly is 0 or 1. The count mappings
// are valid during the call only. 0 on success; any other value reaches the caller.
using ImportFrameF3DFunction = int(const char* path, FluxaFrameData* frame, char headerOnly,
                                   CacheIO::GridMapping* mappings, int count);
// As ImportFrameF3D for OpenVDB files; sets *orientation on every successful import
// (0 asks the library to turn the transform when the host chose axis mode 1).
using ImportFrameVDBFunction = int(const char* path, FluxaFrameData* frame, int* orientation,
                                   char headerOnly, CacheIO::GridMapping* mappings, int count);
// Writes frame as an OpenVDB file at path; 0 on success.
using ExportFrameFunction = int(const char* path, FluxaFrameData* frame);
// The library's log: takes one finished message, which goes to the host's log file (and,
// when it begins with '#', to the debugger output as well).
using LogSinkFunction = void(const char* text);
// Called right after loading, before Initialize, with the library's log, and with null
// before the library unloads the module. While it holds one, the module sends its
// messages there (support's forwardLogMessages does exactly this).
using SetLogSinkFunction = void(LogSinkFunction* sink);

// The prototypes a plug-in defines.
int Initialize();
void SetThreadManager();
void ReleaseThreadManager();
void GetAvailableChannels(const char* path, CacheIO::AvailableChannelList* channels);
int ImportFrameF3D(const char* path, FluxaFrameData* frame, char headerOnly,
                   CacheIO::GridMapping* mappings, int count);
int ImportFrameVDB(const char* path, FluxaFrameData* frame, int* orientation, char headerOnly,
                   CacheIO::GridMapping* mappings, int count);
int ExportFrame(const char* path, FluxaFrameData* frame);
void SetLogSink(LogSinkFunction* sink);

} // extern "C"
