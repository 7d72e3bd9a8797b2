// SPDX-License-Identifier: Apache-2.0
// The names kortool and the Python module give grid channel slots and particle channels
// in their output, and accept back from users.
#pragma once

#include <string>

namespace kortool {

// "Smoke", "VelocityX", ...; "Channel<n>" for the slots without a meaning.
std::string gridChannelName(int slot);
// The slot of a name (any letter case) or a number 0..31; -1 when it names none.
int gridChannelSlot(const std::string& nameOrSlot);

// "position", "velocity", "size", "age", "color", "id", ...; "channel<n>" for the rest.
std::string particleChannelName(int channel);

// Values per particle of a channel (3, 1, or 0 for channels 6 to 8) and their kind: 'f'
// float, 'l' signed 64-bit (identifiers), 'i' signed 32-bit, 'u' an uninterpreted word.
int particleComponents(int channel);
char particleValueKind(int channel);

// "kor", "vdb" or "f3d" from the path's extension in any letter case; "" otherwise.
std::string frameFormat(const std::string& path);

} // namespace kortool
