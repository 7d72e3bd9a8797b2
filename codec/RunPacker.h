// SPDX-License-Identifier: Apache-2.0
// Folds runs of equal integers into run markers while the integers stream past, a piece at
// a time, so that the encoder packs each row as soon as it is differenced and never stores
// the differenced grid.
#pragma once

#include "support/iArray.h"

#include <cstdint>

// Fields:
//   out           where items go; written never passes the integers fed, so out may be
//                 the array being fed
//   written       items written
//   foldedRun     repeats that become a marker (at least 1)
//   last, repeats the value of the open group and how many equal values followed it
//   open          a group is open (something was fed)
//   lowestMarker  the most negative marker written, 0 before any
//   markers       when given, receives the position of every marker written
//   failed        markers could not grow
class RunPacker {
public:
    RunPacker(int32_t* items, int32_t minimumRun,
              iArray<int64_t, int64_t>* markerPositions = nullptr)
        : out(items), foldedRun(static_cast<uint64_t>(minimumRun > 1 ? minimumRun : 1)),
          markers(markerPositions) {}

    // A value followed by k equal values is written as the value and then -k when
    // k >= minimumRun, and as k + 1 literals otherwise.
    void Feed(const int32_t* values, uint64_t count);
    // Closes the last group; returns the items written.
    uint64_t Finish();

    int32_t LowestMarker() const { return lowestMarker; }
    bool Failed() const { return failed; }

private:
    void CloseGroup();
    void WriteMarker(uint64_t length);

    int32_t* out;
    uint64_t written = 0;
    uint64_t foldedRun;
    int32_t last = 0;
    uint64_t repeats = 0;
    bool open = false;
    int32_t lowestMarker = 0;
    iArray<int64_t, int64_t>* markers;
    bool failed = false;
};
