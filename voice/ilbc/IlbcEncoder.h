#pragma once

// iLBC encoder (RFC 3951 bit stream) in either frame mode. Samples are floats on the
// 16-bit scale. One object encodes one stream; it is not shared between threads.

#include "voice/ilbc/IlbcLpc.h"
#include "voice/ilbc/IlbcMode.h"

#include <cstdint>

namespace orvane::ilbc {

class Encoder {
public:
    explicit Encoder(int frameMs = 30);
    // Back to the initial state in that mode (20 or 30; anything else is taken as 30).
    void init(int frameMs);

    int frameMs() const { return mode_.frameMs; }
    int samplesPerFrame() const { return mode_.blockLength; }
    int bytesPerFrame() const { return mode_.bytes; }

    // Encodes samplesPerFrame() samples into bytesPerFrame() bytes.
    void encode(const float* samples, uint8_t* bytes);

private:
    static constexpr int kMaxLookback = 80;

    int lookback() const { return mode_.frameMs == 20 ? 80 : 60; }
    // Unquantised LSF vectors of the frame from the analysis buffer.
    void analyse(float* lsf);

    Mode mode_ = Mode::of(30);
    static constexpr float kDcPole = 0.99f;  // DC blocker, about 13 Hz

    float dcIn_ = 0.0f;
    float dcOut_ = 0.0f;
    float analysis_[kMaxLookback + kMaxBlock] = {};  // look-back then the current frame
    float lsfOld_[kOrder] = {};
    float lsfQuantOld_[kOrder] = {};
    float residualMem_[kOrder] = {};
};

}  // namespace orvane::ilbc
