// SPDX-License-Identifier: Apache-2.0
// How kortool names grid channel slots and particle channels on its command line and in
// its output, and reads them back from the user.
#pragma once

#include <string>

namespace kortool {

// "Smoke", "VelocityX", ...; "Channel<n>" for the slots without a meaning.
std::string gridChannelName(int slot);
// The slot of a name (any letter case) or a number 0..31; -1 when it names none.
int gridChannelSlot(const std::string& nameOrSlot);

// "position", "velocity", "size", "age", "color", "id", ...; "channel<n>" for the rest.
std::string particleChannelName(int channel);

// "kor", "vdb" or "f3d" from the path's extension in any letter case; "" otherwise.
std::string frameFormat(const std::string& path);

} // namespace kortool
