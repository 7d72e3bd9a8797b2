// SPDX-License-Identifier: Apache-2.0
// Construction, reset and destruction of a frame, and the operations that only read what
// loading left behind. Channel decoding lives in FrameChannels.cpp.
#include "frame/FluxaFrameData.h"

#include "particles/MTComputeParticlesBbox.h"
#include "particles/PGroup.h"

#include <cfloat>
#include <cstddef>
#include <cstring>
#include <new>

// The plug-in modules fill frames through this layout (64-bit pointers).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, flags) == 8, "flags");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, recordTable) == 16, "recordTable");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, recordWords) == 24, "recordWords");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, channelMask) == 28, "channelMask");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, groups) == 32, "groups");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, gridSize) == 64, "gridSize");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, frameNumber) == 76, "frameNumber");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, headerBlock) == 80, "headerBlock");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, headerFloatA) == 472, "floatA");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, transform) == 476, "transform");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, headerFloatB) == 524, "floatB");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, extraTransforms) == 528, "extra");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, channelData) == 672, "channelData");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, channelMin) == 928, "channelMin");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, channelMax) == 1056, "channelMax");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, channelDecoder) == 1184, "decoder");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, particleBoundsMin) == 1440, "min");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, particleBoundsMax) == 1452, "max");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, channelLocks) == 1472, "locks");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, note) == 3520, "note");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, path) == 3528, "path");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, mapping) == 3536, "mapping");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, refCount) == 3544, "refCount");
static_assert(sizeof(void*) != 8 || offsetof(FluxaFrameData, boundsJobs) == 3552, "boundsJobs");
static_assert(sizeof(void*) != 8 || sizeof(FluxaFrameData) == 3568, "frame size");
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
static_assert(sizeof(FluxaFrameData::Flags) == 4, "flags are one 32-bit word");

namespace {

// 1/30 second, the frame step older files leave unset.
constexpr uint32_t DefaultFloatBBits = 0x3D088889;
constexpr float DefaultFloatA = 0.001f;
constexpr float NoParticleBound = 1e20f;

void setIdentity(float (&transform)[12]) {
    std::memset(transform, 0, sizeof transform);
    transform[0] = transform[4] = transform[8] = 1.0f;
}

} // namespace

FluxaFrameData::FluxaFrameData()
    : flags{}, recordTable(nullptr), recordWords(0), channelMask(0), groups(0, 4), gridSize{},
      frameNumber(INT32_MIN), headerBlock{}, headerFloatA(0.0f), transform{},
      headerFloatB(0.0f), extraTransforms{}, channelData{}, channelMin{}, channelMax{},
      channelDecoder{}, particleBoundsMin{NoParticleBound, NoParticleBound, NoParticleBound},
      particleBoundsMax{-NoParticleBound, -NoParticleBound, -NoParticleBound}, refCount(0),
      boundsJobs(nullptr) {
    setIdentity(transform);
    setIdentity(extraTransforms[2]);
    for (int c = 0; c < 32; ++c) {
        channelMin[c] = FLT_MAX;
        channelMax[c] = -FLT_MAX;
    }
}

FluxaFrameData::~FluxaFrameData() {
    clearContents();
    releaseChannels();
    destroyDecoders();
    delete boundsJobs;
}

void FluxaFrameData::releaseChannels() {
    for (int c = 0; c < 32; ++c) {
        delete[] channelData[c];
        channelData[c] = nullptr;
        channelMin[c] = FLT_MAX;
        channelMax[c] = -FLT_MAX;
    }
}

void FluxaFrameData::clearContents() {
    delete[] recordTable;
    recordTable = nullptr;
    recordWords = 0;
    // iArray keeps its storage when it shrinks; a fresh array gives the storage back.
    groups.~iArray<PGroup>();
    new (&groups) iArray<PGroup>(0, 4);
    note.Clear();
}

void FluxaFrameData::resetHeader() {
    flags = Flags{};
    std::memset(extraTransforms, 0, sizeof extraTransforms);
    setIdentity(extraTransforms[2]);
    std::memcpy(&headerFloatB, &DefaultFloatBBits, sizeof headerFloatB);
    std::memset(headerBlock, 0, sizeof headerBlock);
    headerFloatA = DefaultFloatA;
    for (int axis = 0; axis < 3; ++axis) {
        particleBoundsMin[axis] = NoParticleBound;
        particleBoundsMax[axis] = -NoParticleBound;
    }
    for (int c = 0; c < 32; ++c) {
        channelData[c] = nullptr;
        channelMin[c] = FLT_MAX;
        channelMax[c] = -FLT_MAX;
    }
    channelMask = 0;
}

int64_t FluxaFrameData::voxelCount() const {
    if (gridSize[0] < 0 || gridSize[1] < 0 || gridSize[2] < 0) {
        return 0;
    }
    const int64_t plane = int64_t(gridSize[0]) * gridSize[1];
    // Three 31-bit extents can overflow 64 bits; such a grid is refused at allocation.
    if (plane > 0 && gridSize[2] > INT64_MAX / plane) {
        return INT64_MAX;
    }
    return plane * gridSize[2];
}

int FluxaFrameData::hasChannel(int channel) {
    if (channel < 0 || channel > 31 || channel == FluxaEnum::PackedColor) {
        return 0;
    }
    const uint32_t stored = channelMask & 0x7FFFFFFFu;
    if (stored & (1u << channel)) {
        return 1;
    }
    if (channel >= FluxaEnum::ColorR && channel <= FluxaEnum::ColorB) {
        return static_cast<int>((stored >> FluxaEnum::PackedColor) & 1u);
    }
    if (channel == FluxaEnum::Speed) {
        return hasChannel(FluxaEnum::VelocityX) && hasChannel(FluxaEnum::VelocityY) &&
                       hasChannel(FluxaEnum::VelocityZ)
                   ? 1
                   : 0;
    }
    return 0;
}

void FluxaFrameData::getGridSize(int* out) {
    if (out != nullptr) {
        std::memcpy(out, gridSize, sizeof gridSize);
    }
}

void FluxaFrameData::getTransform(float* out) {
    if (out != nullptr) {
        std::memcpy(out, transform, sizeof transform);
    }
}

namespace {

bool hasPositions(FluxaFrameData::PGroup& group) {
    return group.hasChannel(0);
}

} // namespace

int FluxaFrameData::getParticleGroupCount() {
    int withPositions = 0;
    for (int32_t g = 0; g < groups.Count(); ++g) {
        withPositions += hasPositions(groups[g]) ? 1 : 0;
    }
    return withPositions;
}

IFluxaSimPrtGroup* FluxaFrameData::getParticleGroup(unsigned int index) {
    unsigned int number = 0;
    for (int32_t g = 0; g < groups.Count(); ++g) {
        if (!hasPositions(groups[g])) {
            continue;
        }
        if (number == index) {
            return &groups[g];
        }
        ++number;
    }
    return nullptr;
}

IFluxaSimPrtGroup* FluxaFrameData::getParticleGroupByName(const char* name) {
    for (int32_t g = 0; g < groups.Count(); ++g) {
        if (groups[g].name.Equals(name)) {
            return &groups[g];
        }
    }
    return nullptr;
}
