// SPDX-License-Identifier: Apache-2.0
// Building a frame from a host's own arrays and saving it as a "kor" cache file (or, for a
// ".vdb" target, through the OpenVDB plug-in). Every array handed in is copied or encoded
// during the call, so the host may release it afterwards. Refused calls change nothing and
// say why through getLastError; a refused argument never reaches the file.
#pragma once

#include "korloader/KorApi.h"

// A frame under construction. Set the grid size first, then any channels and particle
// groups, then save; a writer may be saved several times (for instance to a sequence).
// Not thread-safe: use one writer from one thread at a time.
// No virtual destructor: writers are released through deleteIKorWriter.
class IKorWriter {
public:
    /// Sets the voxel counts along x, y and z. Each is 0 or more and their product at most
    /// 2147483647. Returns 1, or 0 when a count is negative, the product too large, or
    /// grid channels of another size are already set.
    virtual int setGridSize(int gx, int gy, int gz) = 0;
    /// Sets the 12 transform floats as IKor::getTransform returns them: axis vectors e1,
    /// e2, e3, then the translation (the identity by default). Returns 1, or 0 for a null
    /// pointer or a value that is not finite.
    virtual int setTransform(const float* transform) = 0;
    /// Sets the frame number (0 by default); it replaces the "####" pattern of save's path.
    virtual int setFrameNumber(int frameNumber) = 0;
    /// Sets the free-text note stored with the frame (UTF-8; null empties it). Returns 1.
    virtual int setNote(const char* note) = 0;
    /// Stores grid channel `channel` (0..31 except 18, the packed colour; give colour as
    /// 7, 8 and 9) from gx * gy * gz floats in grid order, element (i, j, k) at
    /// i + gx * (j + gy * k). `bits` chooses the storage: 20 or more keeps the floats
    /// exactly; 1..19 quantises the channel's range into 2^bits steps; 0 or less
    /// quantises with the step `step` (finite, above 0). `passes` (0..255) differencing
    /// passes help compression: 1 suits smooth fields, 2 velocities. Quantised channels
    /// must hold only finite values. A channel set again is replaced. Returns 1, or 0 when
    /// refused: no grid size, an unknown slot, a null array, parameters out of range, or
    /// NaN or infinite values in a quantised channel.
    virtual int setChannel(int channel, const float* values, int bits, float step, int passes) = 0;
    /// Adds a particle group of `count` particles (0 or more) named `name` (null: empty)
    /// and returns its index (0, 1, ...), or -1 when refused.
    virtual int addParticleGroup(const char* name, int count) = 0;
    /// Stores particle channel `channel` of group `group` from one value per particle,
    /// laid out as IFluxaSimPrtGroup::getValue gives it: 3 floats for positions (0),
    /// velocities (1) and colours (4); one float for size (2), age (3) and the float
    /// channels 5, 9, 11; one signed 64-bit identifier for channel 10; one 32-bit integer
    /// for channels 12..14 and one 32-bit word for channels 15..31. Channels 6, 7 and 8
    /// carry nothing and are refused. `method` is the storage: 0 raw, 1 zlib, 2 the
    /// channel codec, 3 the channel codec component by component, 4 zlib of bit planes.
    /// With methods 2 and 3 float channels are quantised into 2^bits steps over their
    /// range when `bits` is 1..19 (they must then be finite) and kept exactly when it is
    /// 20 or more; the other methods, and every integer channel, keep values exactly.
    /// Returns 1, or 0 when refused.
    virtual int setParticleChannel(int group, int channel, const void* values, int method,
                                   int bits) = 0;
    /// Saves the frame to `pathPattern` (UTF-8), a "####" run replaced by the frame
    /// number, creating missing directories and retrying failed writes. A ".vdb" target
    /// (any letter case) is written by the OpenVDB plug-in (initalizeKoraLoader must have
    /// loaded it) from the exact channel values, without particle groups; any other
    /// target is a version 4 "kor" file. Large channels are encoded in parallel on the
    /// pool set with korSetThreadCount. Returns 1 when written, 0 otherwise.
    virtual int save(const char* pathPattern) = 0;
    /// Why the last refused or failed call failed, or "" after a call that succeeded. The
    /// text stays valid until the next call on this writer.
    virtual const char* getLastError() = 0;
};

/// A new, empty writer: grid size 0 x 0 x 0, identity transform, frame number 0. Release
/// it with deleteIKorWriter. Null when memory runs out.
KOR_API IKorWriter* newIKorWriter();

/// Releases a writer returned by newIKorWriter and everything it holds; null is ignored.
KOR_API void deleteIKorWriter(IKorWriter* writer);
