// SPDX-License-Identifier: Apache-2.0
// korloader's chief public header: what a host calls to read simulation frame caches.
// The interfaces' slot order is a binary contract with hosts built against older releases.
#pragma once

#include "korloader/KorApi.h"
#include "korloader/KorMappings.h"

// Threads: every function declared here and every operation of IKor and IFluxaSimPrtGroup
// may be called from any thread, at the same time as any other. Frames may be opened, read
// and released concurrently (two threads opening the same new path may both read the file,
// but both get the one frame that is kept); korSetThreadCount may change the pool while
// other threads decode, a decode finishing on the pool it started with; initalizeKoraLoader
// may run while frames are being opened. One rule stays with the host: a thread uses a
// frame, its channel arrays and its particle groups only while it holds a reference to it,
// that is, not after the deleteIKor that releases the last reference.

// Grid channel slots with a meaning; the other slots up to 31 are carried unnamed. Slot
// 18 holds the colour packed internally and is never served.
namespace FluxaEnum {
enum GridChannel : int {
    Temperature = 1, // also the liquid field of liquid simulations
    Smoke = 2,
    Speed = 3, // derived from the velocity when not stored
    VelocityX = 4,
    VelocityY = 5,
    VelocityZ = 6,
    ColorR = 7, // colour components in 0..1
    ColorG = 8,
    ColorB = 9,
    Fuel = 10,
    Wavelet = 14,
    AdvectionOriginX = 15,
    AdvectionOriginY = 16,
    AdvectionOriginZ = 17,
    PackedColor = 18,
    TextureU = 19,
    TextureV = 20,
    TextureW = 21,
};
constexpr int GridChannelCount = 32;
} // namespace FluxaEnum

// One particle group of a frame. It lives as long as the frame that returned it.
// No virtual destructor: groups are owned by their frame.
class IFluxaSimPrtGroup {
public:
    virtual const char* getName() = 0;
    virtual int getParticleCount() = 0;
    virtual bool getValue(int particle, int channel, void* out) = 0;
    virtual bool hasChannel(int channel) = 0;
    virtual int getChannelSize(int channel) = 0;
    virtual int findParticleById(long long id) = 0;
    virtual int getChannelType(int channel) = 0;
    virtual int getChannelComponents(int channel) = 0;
};

// One opened cache frame. Every operation may be called from any thread at the same time.
// No virtual destructor: hosts release frames through deleteIKor.
class IKor {
public:
    /// Returns the float array of grid channel `channel` (0..31): gx * gy * gz values with
    /// element (i, j, k) at i + gx * (j + gy * k). The first request decodes the channel;
    /// later ones return the same array. The array belongs to the frame and stays valid
    /// until the frame is destroyed; do not free it. Every value in it was decoded from the
    /// file, or is 0 where the stored data leaves a voxel without one. Null for an index
    /// outside 0..31, a channel the frame does not hold, slot 18, or data that cannot be
    /// decoded, and for every index when the grid size has a negative extent or more than
    /// 2147483647 voxels (a broken file that still opens for its other contents).
    virtual float* getChannel(int channel) = 0;
    /// 1 when the frame reports grid channel `channel` present, else 0 (always 0 for 18).
    virtual int hasChannel(int channel) = 0;
    /// Writes the voxel counts along x, y and z to out[0..2], as the file states them: a
    /// negative count, or a product above 2147483647, means that the frame serves no grid
    /// channel.
    virtual void getGridSize(int* out) = 0;
    /// Writes the grid transform to out[0..11]: axis vectors e1 (0-2), e2 (3-5), e3 (6-8),
    /// then the translation t (9-11). Voxel (i, j, k), element i + gx * (j + gy * k) of
    /// every channel, has its centre at world t + i * e1 + j * e2 + k * e3: centres sit at
    /// integer indices, as in OpenVDB's index space. Frames imported from OpenVDB and
    /// Field3D files follow the same rule.
    virtual void getTransform(float* out) = 0;
    /// Number of particle groups that hold positions.
    virtual int getParticleGroupCount() = 0;
    /// The index-th group among those that hold positions, or null. Owned by the frame.
    virtual IFluxaSimPrtGroup* getParticleGroup(unsigned int index) = 0;
    /// The first group, with or without positions, whose name equals `name` byte for byte
    /// (a null name matches only an empty one), or null. Owned by the frame.
    virtual IFluxaSimPrtGroup* getParticleGroupByName(const char* name) = 0;
};

/// Version of the library as 0x00MMmmpp (major, minor, patch): 0x30400 for 3.4.0.
KOR_API unsigned int FluxaSimSDKGetVersionNumber();

/// Opens the frame at `path` (UTF-8; the extension "kor", "vdb" or "f3d" chooses the
/// reader, in any letter case) with the default channel mapping of that path. Opening a
/// path that is already open with the same mapping returns the same frame with one more
/// reference. Release every non-null result with deleteIKor. Null when the path is null
/// or empty, the extension is unknown, the file cannot be opened or is broken; the log
/// says why.
KOR_API IKor* newIKor(const char* path);

/// As newIKor, with an explicit channel-mapping string (null counts as empty). Frames are
/// shared only between opens with byte-identical paths and mapping strings.
KOR_API IKor* newIKorWithChannelsMapping(const char* path, const char* mapping);

/// Releases one reference to a frame returned by newIKor or newIKorWithChannelsMapping and
/// destroys the frame with its last reference; its channel arrays die with it. A null
/// pointer, or one that is not an open frame, is ignored.
KOR_API void deleteIKor(IKor* frame);

/// Sends the library's diagnostic log to the file at `path` (UTF-8), appending one line
/// per message; a null or empty path turns the log off (the default). With `truncate`
/// non-zero the file is emptied first. Returns 1 when the setting took effect, 0 when the
/// path is too long (4095 bytes at most) or the file cannot be created; the previous
/// setting then stays.
KOR_API int korSetLogFile(const char* path, int truncate);

/// Gives the library a pool of `threads` threads for its parallel work (zone-parallel
/// channel decoding, particle decoding), replacing the count set before; 0 removes the
/// pool again. Without a call the library starts no threads and works on the calling
/// thread. Frames keep the pool for work they started on it; its threads end once no
/// frame uses them. Negative counts are refused. Returns the number of pool threads now
/// in use.
KOR_API int korSetThreadCount(int threads);
