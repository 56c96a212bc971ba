#include "voice/ilbc/IlbcStartState.h"

#include "voice/ilbc/IlbcLpc.h"

#include <cmath>

namespace orvane::ilbc {

namespace {

constexpr int kMaxState = 58;

// Zero-state all-pass filter over 2 len samples: the input's len samples then zeros.
void allPass(const float* lpc, const float* in, int len, float* out)
{
    // Input and output with kOrder zeros ahead, so that no tap needs a bounds check.
    float x[kOrder + 2 * kMaxState] = {};
    float y[kOrder + 2 * kMaxState] = {};
    for (int k = 0; k < len; ++k)
        x[kOrder + k] = in[k];
    for (int n = 0; n < 2 * len; ++n) {
        const float* xn = x + kOrder + n;
        const float* yn = y + kOrder + n;
        float s = 0.0f, t = 0.0f;
        for (int j = 0; j <= kOrder; j += 2)
            s += lpc[kOrder - j] * xn[-j];
        for (int j = 1; j <= kOrder; j += 2)
            t += lpc[kOrder - j] * xn[-j];
        for (int j = 2; j <= kOrder; j += 2)
            s -= lpc[j] * yn[-j];
        for (int j = 3; j <= kOrder; j += 2)
            t -= lpc[j] * yn[-j];
        const float v = s + t - lpc[1] * yn[-1];
        y[kOrder + n] = v;
        out[n] = v;
    }
}

int nearest(const float* table, int size, float v)
{
    int best = 0;
    float bestErr = std::fabs(v - table[0]);
    for (int i = 1; i < size; ++i) {
        const float err = std::fabs(v - table[i]);
        if (err < bestErr) {
            bestErr = err;
            best = i;
        }
    }
    return best;
}

}  // namespace

void decodeStartState(const float* lpc, int scaleIndex, const int* index, int len, float* out)
{
    const float peak = std::pow(10.0f, kStateScaleLog[scaleIndex & 63]) / 4.5f;
    float reversed[kMaxState] = {};
    for (int k = 0; k < len; ++k)
        reversed[k] = kStateLevels[index[len - 1 - k] & 7] * peak;
    float filtered[2 * kMaxState];
    allPass(lpc, reversed, len, filtered);
    for (int k = 0; k < len; ++k)
        out[k] = filtered[len - 1 - k] + filtered[2 * len - 1 - k];
}

void encodeStartState(const float* residual, const float* lpc, const float* weight, int len,
                      int& scaleIndex, int* index)
{
    float filtered[2 * kMaxState];
    allPass(lpc, residual, len, filtered);
    float dispersed[kMaxState];
    float peak = 0.0f;
    for (int k = 0; k < len; ++k) {
        dispersed[k] = filtered[k] + filtered[k + len];
        peak = std::fmax(peak, std::fabs(dispersed[k]));
    }
    scaleIndex = nearest(kStateScaleLog, 64, std::log10(std::fmax(peak, 1.0f)));
    const float scale = 4.5f / std::pow(10.0f, kStateScaleLog[scaleIndex]);

    // DPCM in the weighted domain: the weighted input x, the prediction y from the weighted
    // quantised samples, and the residual-domain sample d = x - y quantised.
    float x[kMaxState], xq[kMaxState];
    for (int n = 0; n < len; ++n) {
        float s = dispersed[n] * scale;
        float y = 0.0f;
        for (int j = 1; j <= kOrder && j <= n; ++j) {
            s -= weight[j] * x[n - j];
            y -= weight[j] * xq[n - j];
        }
        x[n] = s;
        const int q = nearest(kStateLevels, 8, s - y);
        index[n] = q;
        xq[n] = kStateLevels[q] + y;
    }
}

}  // namespace orvane::ilbc
