// SPDX-License-Identifier: Apache-2.0
// Frame sequences on disk: a path whose file name holds a run of '#' names every file
// that has a frame number of at least that many digits in its place.
#pragma once

#include <string>
#include <vector>

namespace kortool {

struct SequenceFrame {
    std::string path;
    int number = 0;
};

// Whether the file name part of path holds a '#' run.
bool isFramePattern(const std::string& path);

// The frames of a pattern that exist, in frame order; a plain path is one frame whose
// number is the last digit run of its file name (0 without one).
std::vector<SequenceFrame> listFrames(const std::string& path);

} // namespace kortool
