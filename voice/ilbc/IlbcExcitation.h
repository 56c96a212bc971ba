#pragma once

// Layout of a frame's excitation: the start state in two sub-blocks, the rest of those two
// sub-blocks (the short target), then the sub-blocks after the state in time (forward), then
// those before it, nearest first (backward, coded time reversed). Encoder and decoder walk
// the targets in this order so that both build the same codebook memories.

#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcMode.h"

namespace orvane::ilbc {

struct Target {
    int pos = 0;          // first sample in time
    int len = 0;
    bool backward = false;
    int lMem = 0;         // codebook memory length
    int validBegin = 0;   // decoded excitation available to the memory
    int validEnd = 0;
    int subBlock = 0;     // sub-block whose filters weight the target
};

// Target t of a frame (0: the short target, 1..codedSubBlocks: the 40-sample ones).
Target targetAt(const Mode& mode, int start, int stateFirst, int t);

// First sample of the scalar-coded state.
int statePosition(const Mode& mode, int start, int stateFirst);

// Copies a decoded target (in coding order) to its place in the excitation.
void placeTarget(const Target& target, const float* decoded, float* excitation);

// Whether the indices address existing codebook vectors and a valid state position.
bool indicesValid(const Mode& mode, const FrameIndices& f);

// The frame's excitation from valid indices and the quantised LPC of every sub-block.
void decodeExcitation(const Mode& mode, const FrameIndices& f, const float* lpc, float* excitation);

}  // namespace orvane::ilbc
