// SPDX-License-Identifier: Apache-2.0
// Mapping strings ("%d,%s;" per mapping) to GridMapping lists and back, and the default
// mapping of a foreign cache chosen from tables of known grid names.
#pragma once

#include "korloader/CacheIO.h"
#include "support/CharString.h"

// Appends the entries of mapping to mappings, in string order; a null or empty string
// gives none. An entry missing its closing ';' at the end of the string still counts, the
// rest of the string being its name; trailing text without a ',' names no grid and is
// dropped. Channels are read like atoi, saturating at the int range. Always true.
bool parseChannelMappings(const char* mapping, CacheIO::GridMappingList& mappings);

// Replaces out by the mapping string of mappings (factor and reserved are not written).
void composeChannelMappings(const CacheIO::GridMappingList& mappings, CharString& out);

// The two name tables with the smoke fallback, composed into a mapping string.
CharString mapVdbChannels(const CacheIO::AvailableChannelList& channels);
CharString mapF3dChannels(const CacheIO::AvailableChannelList& channels);

// The mapping newIKor uses for path: from the channels the cache offers and the table of
// its extension. Empty for a null or empty path, a cache without channels, or an
// extension other than "vdb" and "f3d".
CharString generateDefaultMappings(const char* path);
