// SPDX-License-Identifier: Apache-2.0
// Results of loading a frame. Entry points turn every non-zero result into a null handle,
// so these stay inside the library; the imports pass their plug-ins' codes on unchanged.
#pragma once

enum LoadResult : int {
    LoadOk = 0,
    LoadPluginNotReady = 2,
    LoadNothingToRead = 3, // no path, unknown extension, no file, negative 32-bit offset
    LoadBrokenFile = 4,    // failed seek or read, bad magic or size, exhausted memory
};
