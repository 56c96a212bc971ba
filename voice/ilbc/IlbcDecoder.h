#pragma once

// iLBC decoder (RFC 3951 bit stream) in either frame mode, with the enhancer and the
// concealment of lost and invalid frames. Samples are floats on the 16-bit scale, clamped
// to [-32768, 32767]. One object decodes one stream; it is not shared between threads.

#include "voice/ilbc/IlbcConcealer.h"
#include "voice/ilbc/IlbcEnhancer.h"
#include "voice/ilbc/IlbcLpc.h"
#include "voice/ilbc/IlbcMode.h"

#include <cstdint>

namespace orvane::ilbc {

class Decoder {
public:
    explicit Decoder(int frameMs = 30, bool enhancer = true);
    // Back to the initial state in that mode (20 or 30; anything else is taken as 30).
    void init(int frameMs, bool enhancer);

    int frameMs() const { return mode_.frameMs; }
    int samplesPerFrame() const { return mode_.blockLength; }
    int bytesPerFrame() const { return mode_.bytes; }

    // Decodes one frame of bytesPerFrame() bytes into samplesPerFrame() samples. A frame
    // with the empty-frame bit set or indices outside the codebooks is concealed like a
    // lost one.
    void decode(const uint8_t* bytes, float* samples);
    // Conceals one lost frame.
    void decodeLost(float* samples);

private:
    // Excitation and sub-block LPC of a frame; false when its indices are invalid.
    bool decodeFrame(const uint8_t* bytes, float* excitation, float* lpc);
    void synthesize(const float* excitation, const float* lpc, float* samples);

    Mode mode_ = Mode::of(30);
    bool enhancer_ = true;
    float lsfOld_[kOrder] = {};
    float synthesisMem_[kOrder] = {};
    float highPassMem_[4] = {};
    float oldLpc_[kMaxSub * kLpcSize] = {};
    Enhancer enhance_;
    Concealer conceal_;
};

}  // namespace orvane::ilbc
