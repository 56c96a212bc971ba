#pragma once

// Constants and quantiser tables of the iLBC bit stream (RFC 3951). The numbers are the
// RFC's; encoder and decoder must agree on them with every other iLBC implementation.

#include <cstdint>

namespace orvane::ilbc {

constexpr int kSubLength = 40;        // samples per sub-block
constexpr int kStateLength = 80;      // two sub-blocks hold the start state
constexpr int kOrder = 10;            // LPC filter order
constexpr int kMaxBlock = 240;
constexpr int kMaxSub = 6;
constexpr int kMaxCodedSub = 4;       // 40-sample sub-blocks coded from the codebook
constexpr int kStages = 3;            // codebook stages per target
constexpr int kMemLength = 147;       // codebook memory of a 40-sample target
constexpr int kShortMemLength = 85;   // codebook memory of the 22/23-sample target
constexpr int kFilterLength = 8;      // codebook expansion filter
constexpr float kMaxGain = 1.3f;
constexpr float kWeightChirp = 0.4222f;
constexpr float kAnalysisChirp = 0.9025f;
constexpr float kMinLsfDistance = 0.039f;   // about 50 Hz between neighbouring LSFs
constexpr int kEnhBlock = 80;
constexpr int kEnhBlocks = 8;
constexpr int kEnhBuffer = kEnhBlock * kEnhBlocks;

// Split vector quantiser of the LSFs: three splits of 3, 3 and 4 coefficients.
constexpr int kLsfSplits = 3;
extern const int kLsfSplitDim[kLsfSplits];
extern const int kLsfSplitSize[kLsfSplits];
extern const float kLsfCodebook[64 * 3 + 128 * 3 + 128 * 4];
extern const float kLsfMean[kOrder];
extern const float kLsfWeight30[6];
extern const float kLsfWeight20[4];

extern const float kStateScaleLog[64];   // 10-logarithms of the start state's peak
extern const float kStateLevels[8];      // 3-bit start state quantiser

extern const float kGain5[32];
extern const float kGain4[16];
extern const float kGain3[8];

extern const float kCbFilter[kFilterLength];

// Fractional delay filters of the enhancer: phase 0, 1/4, 1/2 and 3/4 of a sample.
extern const float kPolyphase[4][7];

// The decoder's output high-pass filter (65 Hz): numerator b0..b2, denominator 1, a1, a2.
extern const float kHpOutZero[3];
extern const float kHpOutPole[3];

}  // namespace orvane::ilbc
