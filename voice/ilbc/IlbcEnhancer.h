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
    // Pitch lag of the newest block, for concealment.
    int lastLag() const { return static_cast<int>(period_[kEnhBlocks - 1] + 0.5f); }

    static int delay(const Mode& mode) { return mode.frameMs == 20 ? 40 : 80; }

private:
    void enhanceBlock(int start, float* out) const;
    // Position (fractional, as integer plus quarter steps subtracted) of the best match of
    // block near estimate; false when it does not fit in the buffer.
    bool refine(const float* block, float estimate, float& position) const;
    void extract(float position, float* out) const;
    float periodAt(float position) const;

    float buffer_[kEnhBuffer] = {};
    float period_[kEnhBlocks] = {};
};

}  // namespace orvane::ilbc
