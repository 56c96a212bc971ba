#include "voice/ilbc/IlbcConcealer.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <cstring>

namespace orvane::ilbc {

namespace {

constexpr int kMinLag = 20;
constexpr int kMatch = 40;       // samples correlated when looking for the pitch
constexpr int kHold = 160;       // samples at full level
constexpr int kFade = 640;       // samples of fade to silence
constexpr int kMerge = 80;       // cross-fade into a received frame

float fadeGain(int t)
{
    if (t < kHold)
        return 1.0f;
    return std::max(0.0f, 1.0f - static_cast<float>(t - kHold) / kFade);
}

}  // namespace

void Concealer::reset(const Mode& mode)
{
    mode_ = mode;
    std::fill(std::begin(previous_), std::end(previous_), 0.0f);
    std::fill(std::begin(lpc_), std::end(lpc_), 0.0f);
    lpc_[0] = 1.0f;
    std::fill(std::begin(history_), std::end(history_), 0.0f);
    lag_ = 40;
    periodic_ = 0.0f;
    noise_ = 1.0f;
    lostSamples_ = 0;
    seed_ = 1;
}

float Concealer::random()
{
    seed_ = seed_ * 1664525u + 1013904223u;
    return static_cast<float>(seed_ >> 8) / 16777216.0f;
}

void Concealer::analyse()
{
    const int n = mode_.blockLength;
    const float* end = previous_ + n;
    float best = 0.0f;
    lag_ = 40;
    for (int lag = kMinLag; lag <= std::min(kMaxLag, n - kMatch); ++lag) {
        float c = 0.0f, e0 = 0.0f, e1 = 0.0f;
        for (int i = 0; i < kMatch; ++i) {
            const float a = end[i - kMatch];
            const float b = end[i - kMatch - lag];
            c += a * b;
            e0 += a * a;
            e1 += b * b;
        }
        if (c <= 0.0f || e0 <= 0.0f || e1 <= 0.0f)
            continue;
        const float r = c / std::sqrt(e0 * e1);
        if (r > best) {
            best = r;
            lag_ = lag;
        }
    }
    // Strongly periodic excitation repeats; weakly periodic excitation turns to noise. The
    // two shares keep the energy: periodic^2 + noise^2 = 1.
    const float share = std::clamp((best - 0.3f) / 0.5f, 0.0f, 1.0f);
    periodic_ = std::sqrt(share);
    noise_ = std::sqrt(1.0f - share);
    // The history starts as the last frame's excitation.
    std::fill(std::begin(history_), std::end(history_), 0.0f);
    std::memcpy(history_ + kHistory - n, previous_, sizeof(float) * n);
}

float Concealer::nextSample()
{
    const int n = mode_.blockLength;
    const float repeated = history_[kHistory - lag_];
    const float drawn = previous_[static_cast<int>(random() * n) % n];
    const float v = periodic_ * repeated + noise_ * drawn;
    std::memmove(history_, history_ + 1, sizeof(float) * (kHistory - 1));
    history_[kHistory - 1] = v;
    return v;
}

void Concealer::conceal(float* excitation, float* lpc)
{
    const int n = mode_.blockLength;
    if (lostSamples_ == 0)
        analyse();
    for (int i = 0; i < n; ++i)
        excitation[i] = fadeGain(lostSamples_ + i) * nextSample();
    lostSamples_ += n;
    for (int s = 0; s < mode_.subBlocks; ++s)
        std::memcpy(lpc + s * kLpcSize, lpc_, sizeof(lpc_));
}

void Concealer::received(float* excitation, const float* lastLpc)
{
    const int n = mode_.blockLength;
    if (lostSamples_ > 0) {
        // The continuation of the concealment, at the phase within one pitch period that
        // correlates best with the received excitation.
        const float gain = fadeGain(lostSamples_);
        const float* period = history_ + kHistory - lag_;
        int bestPhase = 0;
        float best = -1e30f;
        for (int phase = 0; phase < lag_; ++phase) {
            float c = 0.0f;
            for (int i = 0; i < kMerge; ++i)
                c += period[(i + phase) % lag_] * excitation[i];
            if (c > best) {
                best = c;
                bestPhase = phase;
            }
        }
        for (int i = 0; i < kMerge; ++i) {
            const float w = static_cast<float>(i + 1) / (kMerge + 1);
            const float cont = gain * period[(i + bestPhase) % lag_];
            excitation[i] = (1.0f - w) * cont + w * excitation[i];
        }
    }
    lostSamples_ = 0;
    std::memcpy(previous_, excitation, sizeof(float) * n);
    std::memcpy(lpc_, lastLpc, sizeof(lpc_));
}

}  // namespace orvane::ilbc
