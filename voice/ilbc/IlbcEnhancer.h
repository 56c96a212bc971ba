#pragma once

// The decoder's enhancer: each 80-sample block of excitation is compared with the pitch
// synchronous blocks up to three pitch periods before and after it; a weighted mean of
// those, scaled to the block's energy, replaces the block as far as it stays within 5 % of
// the block's energy from it. Looking ahead delays the output by 40 samples (20 ms mode)
// or 80 samples (30 ms mode).

#include "voice/ilbc/IlbcMode.h"
#include "voice/ilbc/IlbcTables.h"

namespace orvane::ilbc {

class Enhancer {
public:
    void reset();
    // Takes one frame of excitation and gives one frame of enhanced excitation, delayed.
    void process(const Mode& mode, const float* excitation, float* out);
    static int delay(const Mode& mode) { return mode.frameMs == 20 ? 40 : 80; }

private:
    void enhanceBlock(int start, float* out) const;
    // Sets position to where the buffer matches block best within two samples of estimate,
    // in quarter samples; false when that neighbourhood leaves the buffer.
    bool refine(const float* block, float estimate, float& position) const;
    void extract(float position, float* out) const;
    float periodAt(float position) const;

    float buffer_[kEnhBuffer] = {};
    float period_[kEnhBlocks] = {};
};

}  // namespace orvane::ilbc
