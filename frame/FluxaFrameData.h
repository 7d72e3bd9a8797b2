// SPDX-License-Identifier: Apache-2.0
// One loaded cache frame: the only implementation of IKor. The readers and the plug-in
// modules fill frames through this declaration, so its fields, their order and their
// types are a binary interface; FluxaFrameData.cpp pins the offsets.
#pragma once

#include "korloader/IKor.h"
#include "platform/Platform.h"
#include "support/CharString.h"
#include "support/iArray.h"

#include <cstdint>

template <int Axes>
class SGCompressor;
class MTComputeParticlesBbox;

// Fields (public: readers, importers and plug-ins fill them before the frame is shared):
//   flags             backup: bit 31 of the stored channel mask; the frame can restore a run
//   recordTable       grid channel records exactly as read, compressed (recordWords words)
//   channelMask       bit c: channel c is stored or imported; bit 31 is the backup flag
//   groups            particle groups in file order
//   gridSize          voxels along x, y, z
//   frameNumber       INT32_MIN while unknown
//   headerBlock       opaque simulation values, kept as the file gave them, like the
//                     header floats, extra transforms, channel ranges, bounds and note
//   transform         three axis vectors, then the translation
//   channelData       decoded or imported channels, gridSize product floats each; once set
//                     a slot keeps its array until the frame dies (hosts hold borrowed
//                     pointers). Slot 18 only passes through while the colour is unpacked
//   channelDecoder    one decoder per slot, made by the slot's first decode
//   channelLocks      guard each slot's decode and its channelData/channelDecoder entry.
//                     Lock order: slot 3 before 4, 5 and 6; slot 18 before 7, 8 and 9.
//                     Slots 7, 8 and 9 are left before slot 18 is entered, so no cycle
//   path, mapping     the registry key
//   refCount          outstanding host handles; changed only by the registry's callers
//   boundsJobs        particle bounds job set, made when the reader computes the bounds
class FluxaFrameData : public IKor {
public:
    class PGroup;

    struct Flags {
        uint32_t backup : 1;
        uint32_t unused : 31;
    };

    FluxaFrameData();
    // The eighth virtual slot: the registry destroys frames through it.
    virtual ~FluxaFrameData();
    FluxaFrameData(const FluxaFrameData&) = delete;
    FluxaFrameData& operator=(const FluxaFrameData&) = delete;

    float* getChannel(int channel) override;
    int hasChannel(int channel) override;
    void getGridSize(int* out) override;
    void getTransform(float* out) override;
    int getParticleGroupCount() override;
    IFluxaSimPrtGroup* getParticleGroup(unsigned int index) override;
    IFluxaSimPrtGroup* getParticleGroupByName(const char* name) override;

    // Releases every channel array and forgets every channel range.
    void releaseChannels();
    // Releases the record table, the particle groups and the note.
    void clearContents();
    // Back to the defaults a reader starts from; gridSize, transform and frameNumber stay.
    void resetHeader();

    // gx * gy * gz in 64 bits; 0 when an extent is negative, INT64_MAX when it does not fit.
    int64_t voxelCount() const;

    Flags flags;
    int32_t* recordTable;
    int32_t recordWords;
    uint32_t channelMask;
    iArray<PGroup> groups;
    int32_t gridSize[3];
    int32_t frameNumber;
    uint8_t headerBlock[392];
    float headerFloatA;
    float transform[12];
    float headerFloatB;
    float extraTransforms[3][12];
    float* channelData[32];
    float channelMin[32];
    float channelMax[32];
    SGCompressor<3>* channelDecoder[32];
    float particleBoundsMin[3];
    float particleBoundsMax[3];
    Platform::CriticalSection channelLocks[32];
    CharString note;
    CharString path;
    CharString mapping;
    int32_t refCount;
    MTComputeParticlesBbox* boundsJobs;

private:
    void destroyDecoders();
    // Decodes the record of `channel` into channelData[channel]; the caller holds the lock.
    void decodeRecord(int channel, int64_t voxels);
    // Fills the empty colour slots from the packed colour; the caller holds slot 18's lock.
    void unpackColour(int64_t voxels);
    // Derives speed from the velocity slots; the caller holds slot 3's lock.
    void deriveSpeed(int64_t voxels);
    // channelData[channel] read under the slot's lock.
    float* lockedChannel(int channel);
    // Stores array in an empty slot under its lock; false (array untouched) when filled.
    bool publishChannel(int channel, float* array);
};
