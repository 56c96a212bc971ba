#include "voice/ilbc/IlbcEnhancer.h"

#include "voice/ilbc/IlbcMath.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <cstring>

namespace orvane::ilbc {

namespace {

constexpr int kMinLag = 20;
constexpr int kMaxLag = 120;
constexpr int kSearch = 2;     // samples either side of the estimate
constexpr int kHalfFilter = 3; // fractional delay filters have 7 taps
constexpr float kMaxChange = 0.05f;

}  // namespace

void Enhancer::reset()
{
    std::fill(std::begin(buffer_), std::end(buffer_), 0.0f);
    std::fill(std::begin(period_), std::end(period_), 40.0f);
}

float Enhancer::periodAt(float position) const
{
    const int block = std::clamp(static_cast<int>(position) / kEnhBlock, 0, kEnhBlocks - 1);
    return period_[block];
}

bool Enhancer::refine(const float* block, float estimate, float& position) const
{
    const int e = static_cast<int>(std::lround(estimate));
    const int reach = kSearch + kHalfFilter;
    if (e - reach < 0 || e + reach + kEnhBlock > kEnhBuffer)
        return false;
    float corr[2 * (kSearch + kHalfFilter) + 1];
    for (int m = -reach; m <= reach; ++m)
        corr[m + reach] = dot(block, buffer_ + e + m, kEnhBlock);
    float best = -1e30f;
    position = static_cast<float>(e);
    for (int m = -kSearch; m <= kSearch; ++m) {
        for (int f = 0; f < 4; ++f) {
            float v = 0.0f;
            for (int t = 0; t < 7; ++t)
                v += kPolyphase[f][t] * corr[m + t - kHalfFilter + reach];
            if (v > best) {
                best = v;
                position = static_cast<float>(e + m) - 0.25f * f;
            }
        }
    }
    return true;
}

void Enhancer::extract(float position, float* out) const
{
    // position = p - f/4 with integer p: the phase-f filter around p.
    const int p = static_cast<int>(std::ceil(position - 1e-4f));
    const int f = std::clamp(static_cast<int>(std::lround((p - position) * 4.0f)), 0, 3);
    for (int i = 0; i < kEnhBlock; ++i) {
        float s = 0.0f;
        for (int t = 0; t < 7; ++t)
            s += kPolyphase[f][t] * buffer_[p + i + t - kHalfFilter];
        out[i] = s;
    }
}

void Enhancer::enhanceBlock(int start, float* out) const
{
    const float* x = buffer_ + start;
    // Weights 0.5 (1 - cos(2 pi (n + 4) / 8)) for n = -3..3, n = 0 left out.
    static const float kWeights[7] = {0.14644661f, 0.5f, 0.85355339f, 0.0f, 0.85355339f, 0.5f, 0.14644661f};
    float y[kEnhBlock] = {};
    float seq[kEnhBlock];
    for (int dir = -1; dir <= 1; dir += 2) {
        float position = static_cast<float>(start);
        for (int n = 1; n <= 3; ++n) {
            const float estimate = position + dir * periodAt(position + kEnhBlock / 2);
            if (!refine(x, estimate, position))
                break;
            extract(position, seq);
            const float w = kWeights[3 + dir * n];
            for (int i = 0; i < kEnhBlock; ++i)
                y[i] += w * seq[i];
        }
    }
    const float w11 = dot(x, x, kEnhBlock);
    const float w00 = dot(y, y, kEnhBlock);
    const float w10 = dot(y, x, kEnhBlock);
    if (w11 <= 1e-3f || w00 <= 1e-3f * w11) {
        std::memcpy(out, x, sizeof(float) * kEnhBlock);
        return;
    }
    const float c = std::sqrt(w11 / w00);
    float err = 0.0f;
    for (int i = 0; i < kEnhBlock; ++i) {
        const float d = x[i] - c * y[i];
        err += d * d;
    }
    if (err < kMaxChange * w11) {
        for (int i = 0; i < kEnhBlock; ++i)
            out[i] = c * y[i];
        return;
    }
    // The mix A y + B x with the block's energy and exactly 5 % error energy.
    const float denom = w00 * w11 - w10 * w10;
    if (denom <= 1e-6f * w00 * w11) {
        std::memcpy(out, x, sizeof(float) * kEnhBlock);
        return;
    }
    const float b = kMaxChange;
    const float a = std::sqrt((b - b * b / 4.0f) * w11 * w11 / denom);
    const float bb = 1.0f - b / 2.0f - a * w10 / w11;
    for (int i = 0; i < kEnhBlock; ++i)
        out[i] = a * y[i] + bb * x[i];
}

void Enhancer::process(const Mode& mode, const float* excitation, float* out)
{
    const int n = mode.blockLength;
    const int newBlocks = n / kEnhBlock;
    std::memmove(buffer_, buffer_ + n, sizeof(float) * (kEnhBuffer - n));
    std::memcpy(buffer_ + kEnhBuffer - n, excitation, sizeof(float) * n);
    std::memmove(period_, period_ + newBlocks, sizeof(float) * (kEnhBlocks - newBlocks));

    for (int b = 0; b < newBlocks; ++b) {
        const int pos = kEnhBuffer - n + b * kEnhBlock;
        const float* x = buffer_ + pos;
        int bestLag = kMinLag;
        float best = -1.0f;
        // Energy of the lagged block, slid one sample further back per lag.
        double lagged = dot(x - kMinLag, x - kMinLag, kEnhBlock);
        for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
            const float* p = x - lag;
            if (lag > kMinLag)
                lagged += static_cast<double>(p[0]) * p[0] - static_cast<double>(p[kEnhBlock]) * p[kEnhBlock];
            const float c = dot(x, p, kEnhBlock);
            if (c <= 0.0f)
                continue;
            const float score = c * c / (static_cast<float>(std::max(lagged, 0.0)) + 1.0f);
            if (score > best) {
                best = score;
                bestLag = lag;
            }
        }
        period_[kEnhBlocks - newBlocks + b] = static_cast<float>(bestLag);
    }

    const int first = kEnhBuffer - n - delay(mode);
    for (int b = 0; b < newBlocks; ++b)
        enhanceBlock(first + b * kEnhBlock, out + b * kEnhBlock);
}

}  // namespace orvane::ilbc
