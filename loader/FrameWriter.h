// SPDX-License-Identifier: Apache-2.0
// The library's IKorWriter. Grid channels are kept as the host's floats until save, which
// encodes them into a record table for a "kor" file or lends them to the OpenVDB plug-in's
// export, which stores them exactly; particle channels go only into "kor" files and are
// encoded as soon as they are set.
#pragma once

#include "codec/SGCompressor.h"
#include "frame/FluxaFrameData.h"
#include "korloader/IKorWriter.h"

#include <cstdint>

// Fields:
//   frame       the frame being built: grid size, transform, frame number, note and the
//               particle groups with their stored channels live here; its record table and
//               channel slots are filled only during save
//   channels    per grid slot, the host's values (gx * gy * gz floats, owned) or null, with
//               the storage asked for and the range of the values
//   groupBounds per particle group, the box of its good positions
//   lastError   the reason of the last refusal, "" after a success
//   gridEncoder encodes the grid channels; kept from save to save while the thread manager
//               stays, so its slab jobs' work arrays are faulted in once per writer
class FrameWriter final : public IKorWriter {
public:
    FrameWriter();
    // Not virtual: the writer is destroyed only through deleteIKorWriter, as FrameWriter.
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    int setGridSize(int gx, int gy, int gz) override;
    int setTransform(const float* transform) override;
    int setFrameNumber(int frameNumber) override;
    int setNote(const char* note) override;
    int setChannel(int channel, const float* values, int bits, float step, int passes) override;
    int addParticleGroup(const char* name, int count) override;
    int setParticleChannel(int group, int channel, const void* values, int method,
                           int bits) override;
    int save(const char* pathPattern) override;
    const char* getLastError() override { return lastError; }

private:
    struct GridChannel {
        float* values = nullptr;
        int32_t bits = 0;
        float step = 0;
        int32_t passes = 0;
        float min = 0;
        float max = 0;
    };
    struct Bounds {
        float min[3];
        float max[3];
    };

    // Records the reason of a refusal (also logged) and returns 0.
    int refuse(const char* format, ...);
    int succeed();
    int64_t voxelCount() const;
    uint32_t channelBits() const;
    // Appends the record of every grid channel to table.
    bool encodeChannels(iArray<int32_t>& table);
    int saveKor(const char* pathPattern);
    int saveVdb(const char* pathPattern);
    void mergeParticleBounds();

    FluxaFrameData frame;
    GridChannel channels[32];
    iArray<Bounds> groupBounds;
    SGCompressor<3>* gridEncoder = nullptr;
    char lastError[256] = {};
};
