// SPDX-License-Identifier: Apache-2.0
// The particle payloads of a "kor" file: the legacy particle section of the header
// (tags 7 and 13) and the particle data chunk (1002). Both read from the reader's open
// file at its current position and raise IOErrException, after logging the read's
// message, on a short read, a hostile count or exhausted memory.
#pragma once

#include "frame/FluxaFrameData.h"

#include <cstdint>
#include <cstdio>

// Reads one legacy particle section into frame.groups. coded: tag 13 (codec streams,
// stored component by component), otherwise tag 7 (raw words). Without load the channel
// data and identifiers are skipped; with bound each group's positions widen the frame's
// particle bounds.
void readParticleSection(FluxaFrameData& frame, FILE* file, int64_t fileBytes, bool coded,
                         bool load, bool bound);

// Reads the particle data chunk: frame.groups is replaced by its groups, whose channels
// stay stored until they are asked for.
void readParticleChunk(FluxaFrameData& frame, FILE* file, int64_t fileBytes);
