// SPDX-License-Identifier: Apache-2.0
// Writes a frame as an OpenVDB file that the import reads back into the same frame.
#pragma once

class FluxaFrameData;

namespace vdbbridge {

// The grid name under which slot `slot` (0..31) is written: the first name of the
// default OpenVDB mapping table for slots 1, 2 and 4 to 10 ("Smoke_flx"), the slot's
// identifier with "_flx" for the other named slots, "Channel<n>_flx" for the rest.
const char* exportGridName(int slot);

// Writes every grid channel the frame holds as a FloatGrid named by exportGridName, in
// the frame's transform: frame voxel (i, j, k) is index (i, j, k). Zeros stay inactive,
// except the first and last voxel of the frame, kept active so that the active box, and
// with it the imported frame's box, is the whole frame. Speed is written only when it is
// stored rather than derived. Returns a VdbResult and logs failures; never throws.
int exportFrame(const char* path, FluxaFrameData& frame);

} // namespace vdbbridge
