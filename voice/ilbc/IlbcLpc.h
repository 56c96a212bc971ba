#pragma once

// Linear prediction: analysis, the LSF representation, its split vector quantiser and the
// per-sub-block interpolation, and the filters that apply the coefficients. A coefficient
// set a[0..kOrder] has a[0] = 1 and stands for A(z) = sum of a[i] z^-i.

#include "voice/ilbc/IlbcMode.h"
#include "voice/ilbc/IlbcTables.h"

namespace orvane::ilbc {

constexpr int kLpcSize = kOrder + 1;

// Autocorrelation r[0..kOrder] of n samples.
void autocorrelation(const float* x, int n, float* r);
// Levinson-Durbin; a flat a (1, 0, ...) when the signal has no energy.
void levinson(const float* r, float* a);
// a[i] * chirp^i.
void bandwidthExpand(const float* a, float chirp, float* out);

// LSFs in radians (0..pi, rising). When the roots cannot all be found, answers false and
// leaves lsf untouched.
bool lpcToLsf(const float* a, float* lsf);
void lsfToLpc(const float* lsf, float* a);

// One LSF vector against the three split codebooks: nearest entries by squared error.
void quantizeLsf(const float* lsf, float* qlsf, int* index);
void dequantizeLsf(const int* index, float* qlsf);
// Moves neighbours apart so that the synthesis filter stays stable.
void stabilizeLsf(float* lsf);

// LPC coefficients of every sub-block from the previous frame's last LSF vector and this
// frame's one or two vectors (interpolated in the LSF domain), lpc[sub * kLpcSize + i].
void interpolateLpc(const Mode& mode, const float* previous, const float* lsf, float* lpc);

// y = A(z) x with a filter memory of the last kOrder inputs (oldest first).
void analysisFilter(const float* x, int n, const float* a, float* mem, float* y);
// In place: x = x / A(z), memory of the last kOrder outputs (oldest first); n <= kMaxBlock.
void synthesisFilter(float* x, int n, const float* a, float* mem);

// Second-order section with numerator b and denominator (1, a1, a2); mem holds
// x[n-1], x[n-2], y[n-1], y[n-2].
void biquad(const float* in, int n, const float* b, const float* a, float* mem, float* out);

}  // namespace orvane::ilbc
