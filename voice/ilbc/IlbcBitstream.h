#pragma once

// The quantisation indices of one frame and their packing into the frame's bytes.
//
// Each index is split over up to three sensitivity classes. The frame carries all class 1
// bits first, then all class 2 bits, then all class 3 bits; within a class the fields follow
// each other in a fixed order (LSFs, start state, the short target's codebook indices and
// gains, the 40-sample targets' indices, their gains, and last the empty-frame bit), and an
// index's more significant bits go to the lower class. Bits fill each byte from its most
// significant bit on.

#include "voice/ilbc/IlbcMode.h"
#include "voice/ilbc/IlbcTables.h"

#include <cstdint>

namespace orvane::ilbc {

struct FrameIndices {
    int lsf[6] = {};                        // split VQ indices, three per LSF vector
    int start = 0;                          // 1..3 (20 ms) or 1..5 (30 ms)
    int stateFirst = 0;                     // 1: the scalar-coded state opens the 80 samples
    int scale = 0;                          // 6-bit index of the state's peak
    int state[58] = {};                     // 3-bit state samples
    // Row 0 is the 22/23-sample target, rows 1.. the 40-sample targets in coding order.
    // The indices are those of the full codebook: the 7-bit fields of the first 40-sample
    // target's later stages are mapped on packing and unpacking.
    int cb[kMaxCodedSub + 1][kStages] = {};
    int gain[kMaxCodedSub + 1][kStages] = {};
    int empty = 0;                          // 1 marks a frame the decoder must conceal
};

// Writes mode.bytes bytes. Indices are taken modulo their field width, except the mapped
// ones, which must be codable (see codableInFirstTarget).
void packFrame(const Mode& mode, const FrameIndices& in, uint8_t* bytes);
// Reads mode.bytes bytes. Range checks against the codebooks are the decoder's.
void unpackFrame(const Mode& mode, const uint8_t* bytes, FrameIndices& out);

// Whether a full-codebook index fits the 7-bit field of the first 40-sample target's second
// and third stages: the base and expanded vectors of lags 40..83 and both augmented parts.
bool codableInFirstTarget(int index);

}  // namespace orvane::ilbc
