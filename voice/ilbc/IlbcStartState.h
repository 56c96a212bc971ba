#pragma once

// The start state: 57/58 residual samples coded one by one with 3 bits after an all-pass
// (phase-dispersion) filter and a scale taken from the block's peak. The all-pass filter has
// the quantised A(z) of the state's first sub-block as denominator and its mirror image as
// numerator, applied by circular convolution over the state's length.

namespace orvane::ilbc {

// Residual samples of the state from its indices (len samples into out).
void decodeStartState(const float* lpc, int scaleIndex, const int* index, int len, float* out);

// Chooses the indices for len residual samples; weight is the sub-block's perceptual
// weighting A(z/0.4222), in whose domain the samples are quantised (DPCM).
void encodeStartState(const float* residual, const float* lpc, const float* weight, int len,
                      int& scaleIndex, int* index);

}  // namespace orvane::ilbc
