// SPDX-License-Identifier: Apache-2.0
// Loading the OpenVDB and Field3D plug-in modules, and the channel-mapping strings that
// say which named grid of such a file feeds which channel slot of a frame. A mapping
// string is one "%d,%s;" entry (channel, grid name) per mapping, e.g.
// "2,density;1,temperature;". Functions that return text copy it into the caller's
// buffer: nothing is written for a size below 1, otherwise at most size - 1 bytes and a
// terminating zero.
#pragma once

#include "korloader/KorApi.h"

/// Finds, loads and initialises the plug-in modules "f3dbridge" and "vdbbridge", and sets
/// the axis convention applied to imported transforms (`axisMode`: 1 turns OpenVDB frames
/// the plug-in marks, 2 turns Field3D frames; other values change nothing). Without a
/// suffix the modules are loaded by bare file name through the system's search (e.g.
/// "f3dbridge.so"); with one, "f3dbridge_<suffix>.so" is looked for in each directory of
/// the ";"-separated `searchDirectories` in turn (or by the system's search when that is
/// null). Call it before opening foreign frames; it may run while other threads open
/// frames, which see each module only once it is ready. Concurrent calls are serialised.
/// Returns bit 1 when the Field3D plug-in is ready, bit 2 when the OpenVDB one is. A
/// module loaded by an earlier call is not loaded again; its bit is reported when it is
/// ready.
KOR_API int initalizeKoraLoader(const char* searchDirectories, const char* moduleSuffix,
                                int axisMode);

/// Writes the name of the index-th channel (grid) that the cache at `path` offers into
/// `name` (`size` bytes) and its plug-in flag (0 or 1) to `*flag`. A path with a frame
/// pattern offers the channels of all its frames. Returns 1 when the name fitted, 0 when
/// it was cut, -1 (nothing written) when there is no such channel: list the channels by
/// asking for index 0, 1, 2, ... until -1.
KOR_API int korGet3rdPartyChannelName(char* name, int size, int* flag, const char* path, int index);

/// Writes the mapping string of the `count` pairs (channels[i], names[i]) into `buffer`
/// (`size` bytes); a count of 0 or less gives the empty string and a null name an empty
/// one. Returns 1 when the string fitted, 0 when it was cut.
KOR_API int korComposeChannelMappingsString(char* buffer, int size, int* channels,
                                            const char* const* names, int count);

/// Writes the channel of the index-th entry of `mapping` to `*channel` and its grid name
/// into `name` (`size` bytes). Returns 1 when the name fitted, 0 when it was cut, -1
/// (nothing written) when the string has no such entry.
KOR_API int korDecomposeChannelMappingsString(int* channel, char* name, int size,
                                              const char* mapping, int index);

/// Writes the default mapping string for the cache at `path` into `buffer` (`size`
/// bytes): known grid names go to their channels, and the first unknown unflagged grid
/// feeds smoke when nothing else does. Empty for "kor" files, unknown extensions, missing
/// files and plug-ins that are not ready. Returns 1 when the string fitted, 0 when it was
/// cut.
KOR_API int korGenerateDefaultChannelMappings(char* buffer, int size, const char* path);
