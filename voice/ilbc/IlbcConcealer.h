#pragma once

// Concealment of lost frames in the excitation domain. A lost frame repeats the last
// excitation pitch-synchronously, mixed with excitation samples drawn at random in the
// proportion the last frame's periodicity suggests, through the last sub-block's LPC
// filter; the level holds for 20 ms and then fades to silence over 80 ms. The first frame
// received after a loss is cross-faded from the concealment's continuation, taken at the
// phase that matches the received excitation best.

#include "voice/ilbc/IlbcLpc.h"
#include "voice/ilbc/IlbcMode.h"

#include <cstdint>

namespace orvane::ilbc {

class Concealer {
public:
    void reset(const Mode& mode);
    // Excitation and LPC (every sub-block the same) for a lost frame.
    void conceal(float* excitation, float* lpc);
    // A correctly decoded frame: merges it with a preceding concealment and records it.
    void received(float* excitation, const float* lastLpc);

private:
    static constexpr int kMaxLag = 120;
    static constexpr int kHistory = kMaxBlock + kMaxLag;

    void analyse();
    // The next raw (unfaded) concealment sample; extends history_.
    float nextSample();
    float random();

    Mode mode_ = Mode::of(30);
    float previous_[kMaxBlock] = {};   // last frame's excitation
    float lpc_[kLpcSize] = {1.0f};
    float history_[kHistory] = {};      // raw concealment excitation, newest last
    int lag_ = 40;
    float periodic_ = 0.0f;             // share of the pitch repetition (amplitude)
    float noise_ = 1.0f;
    int lostSamples_ = 0;               // samples concealed since the last received frame
    uint32_t seed_ = 1;
};

}  // namespace orvane::ilbc
