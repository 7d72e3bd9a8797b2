// SPDX-License-Identifier: Apache-2.0
// The particle payloads of a "kor" file: the legacy particle section of the header
// (tags 7 and 13) and the particle data chunk (1002). Both read from the reader's open
// file at its current position and raise IOErrException, after logging the read's
// message, on a short read, a hostile count or exhausted memory.
#pragma once

#include "frame/FluxaFrameData.h"

#include <cstdint>
#include <cstdio>

// How one legacy particle section is read.
//   coded            tag 13 (codec streams, stored component by component); else tag 7
//   loadChannels     the channel data is loaded; otherwise skipped
//   loadIdentifiers  the identifier streams are decoded; otherwise skipped
//   bound            each group's positions widen the frame's particle bounds
struct ParticleSectionReading {
    bool coded;
    bool loadChannels;
    bool loadIdentifiers;
    bool bound;
};

// Reads one legacy particle section into frame.groups.
void readParticleSection(FluxaFrameData& frame, FILE* file, int64_t fileBytes,
                         const ParticleSectionReading& reading);

// Reads the particle data chunk: frame.groups is replaced by its groups, whose channels
// stay stored until they are asked for.
void readParticleChunk(FluxaFrameData& frame, FILE* file, int64_t fileBytes);
