#include "voice/ilbc/IlbcEncoder.h"

#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcCodebook.h"
#include "voice/ilbc/IlbcCodebookSearch.h"
#include "voice/ilbc/IlbcExcitation.h"
#include "voice/ilbc/IlbcStartState.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <cstring>

namespace orvane::ilbc {

namespace {

constexpr int kWindow = 240;
constexpr double kPi = 3.14159265358979323846;

// Analysis windows: a symmetric Hann window, and an asymmetric one (half a Hann window of
// 440 samples, then a quarter cosine) that centres the analysis late in the window without
// look-ahead; and the lag window (60 Hz Gaussian smoothing, white noise floor at -40 dB).
struct Windows {
    float hann[kWindow];
    float asymmetric[kWindow];
    float lag[kLpcSize];

    Windows()
    {
        for (int i = 0; i < kWindow / 2; ++i) {
            hann[i] = static_cast<float>(0.5 * (1.0 - std::cos(2.0 * kPi * (i + 1) / (kWindow + 1))));
            hann[kWindow - 1 - i] = hann[i];
        }
        for (int i = 0; i < 220; ++i) {
            const double s = std::sin(kPi * (i + 1) / 441.0);
            asymmetric[i] = static_cast<float>(s * s);
        }
        for (int i = 220; i < kWindow; ++i)
            asymmetric[i] = static_cast<float>(std::cos((i - 220) * kPi / 40.0));
        lag[0] = 1.0001f;
        for (int i = 1; i < kLpcSize; ++i) {
            const double x = 2.0 * kPi * 60.0 * i / 8000.0;
            lag[i] = static_cast<float>(std::exp(-0.5 * x * x));
        }
    }
};

const Windows& windows()
{
    static const Windows w;
    return w;
}

void lsfOfWindowed(const float* x, const float* window, const float* fallback, float* lsf)
{
    const Windows& w = windows();
    float windowed[kWindow];
    for (int i = 0; i < kWindow; ++i)
        windowed[i] = x[i] * window[i];
    float r[kLpcSize];
    autocorrelation(windowed, kWindow, r);
    for (int i = 0; i < kLpcSize; ++i)
        r[i] *= w.lag[i];
    float a[kLpcSize], expanded[kLpcSize];
    levinson(r, a);
    bandwidthExpand(a, kAnalysisChirp, expanded);
    if (!lpcToLsf(expanded, lsf))
        std::memcpy(lsf, fallback, sizeof(float) * kOrder);
}

float energy(const float* x, int n)
{
    float s = 0.0f;
    for (int i = 0; i < n; ++i)
        s += x[i] * x[i];
    return s;
}

}  // namespace

Encoder::Encoder(int frameMs)
{
    init(frameMs);
}

void Encoder::init(int frameMs)
{
    mode_ = Mode::of(frameMs);
    dcIn_ = 0.0f;
    dcOut_ = 0.0f;
    std::fill(std::begin(analysis_), std::end(analysis_), 0.0f);
    std::memcpy(lsfOld_, kLsfMean, sizeof(lsfOld_));
    std::memcpy(lsfQuantOld_, kLsfMean, sizeof(lsfQuantOld_));
    std::fill(std::begin(residualMem_), std::end(residualMem_), 0.0f);
}

void Encoder::analyse(float* lsf)
{
    const Windows& w = windows();
    if (mode_.lpcSets == 1) {
        lsfOfWindowed(analysis_, w.asymmetric, lsfOld_, lsf);
        return;
    }
    lsfOfWindowed(analysis_, w.hann, lsfOld_, lsf);
    lsfOfWindowed(analysis_ + lookback(), w.asymmetric, lsf, lsf + kOrder);
}

void Encoder::encode(const float* samples, uint8_t* bytes)
{
    const int n = mode_.blockLength;
    const int total = lookback() + n;
    float block[kMaxBlock];
    // Only DC and the lowest rumble are taken out: a steeper input filter would turn the
    // phase of the voice's lowest harmonics and cost more than it saves.
    for (int i = 0; i < n; ++i) {
        const float y = samples[i] - dcIn_ + kDcPole * dcOut_;
        dcIn_ = samples[i];
        dcOut_ = y;
        block[i] = y;
    }
    std::memmove(analysis_, analysis_ + n, sizeof(float) * (total - n));
    std::memcpy(analysis_ + total - n, block, sizeof(float) * n);

    FrameIndices f;

    // Spectral envelope: LSFs quantised and interpolated per sub-block; the unquantised
    // ones give the perceptual weighting filters.
    float lsf[2 * kOrder], qlsf[2 * kOrder];
    analyse(lsf);
    for (int v = 0; v < mode_.lpcSets; ++v) {
        quantizeLsf(lsf + v * kOrder, qlsf + v * kOrder, f.lsf + 3 * v);
        stabilizeLsf(qlsf + v * kOrder);
    }
    float lpc[kMaxSub * kLpcSize], plain[kMaxSub * kLpcSize], weight[kMaxSub * kLpcSize];
    interpolateLpc(mode_, lsfQuantOld_, qlsf, lpc);
    interpolateLpc(mode_, lsfOld_, lsf, plain);
    for (int s = 0; s < mode_.subBlocks; ++s)
        bandwidthExpand(plain + s * kLpcSize, kWeightChirp, weight + s * kLpcSize);
    std::memcpy(lsfOld_, lsf + (mode_.lpcSets - 1) * kOrder, sizeof(lsfOld_));
    std::memcpy(lsfQuantOld_, qlsf + (mode_.lpcSets - 1) * kOrder, sizeof(lsfQuantOld_));

    float residual[kMaxBlock];
    for (int s = 0; s < mode_.subBlocks; ++s)
        analysisFilter(block + s * kSubLength, kSubLength, lpc + s * kLpcSize, residualMem_,
                       residual + s * kSubLength);

    // The two sub-blocks of most energy hold the start state; their edges count less and
    // positions near the frame's middle are preferred.
    static const float kEdge[5] = {1.0f / 6, 2.0f / 6, 3.0f / 6, 4.0f / 6, 5.0f / 6};
    static const float kBias30[5] = {0.8f, 0.9f, 1.0f, 0.9f, 0.8f};
    static const float kBias20[3] = {0.9f, 1.0f, 0.9f};
    float bestPower = -1.0f;
    f.start = 1;
    for (int start = 1; start < mode_.subBlocks; ++start) {
        const float* r = residual + (start - 1) * kSubLength;
        float power = 0.0f;
        for (int i = 0; i < kStateLength; ++i) {
            float w = 1.0f;
            if (i < 5)
                w = kEdge[i];
            else if (i >= kStateLength - 5)
                w = kEdge[kStateLength - 1 - i];
            power += w * r[i] * r[i];
        }
        power *= mode_.frameMs == 20 ? kBias20[start - 1] : kBias30[start - 1];
        if (power > bestPower) {
            bestPower = power;
            f.start = start;
        }
    }
    const int stateBegin = (f.start - 1) * kSubLength;
    const int shortLen = kStateLength - mode_.stateShort;
    // The weaker of the two edge segments is left to the codebook.
    f.stateFirst = energy(residual + stateBegin + mode_.stateShort, shortLen) <
                           energy(residual + stateBegin, shortLen)
                       ? 1
                       : 0;

    // Start state, then the targets in the decoder's order, each coded against the
    // excitation decoded so far.
    float excitation[kMaxBlock] = {};
    const int statePos = statePosition(mode_, f.start, f.stateFirst);
    const float* stateLpc = lpc + (f.start - 1) * kLpcSize;
    encodeStartState(residual + statePos, stateLpc, weight + (f.start - 1) * kLpcSize, mode_.stateShort,
                     f.scale, f.state);
    decodeStartState(stateLpc, f.scale, f.state, mode_.stateShort, excitation + statePos);

    float mem[kMemLength], target[kSubLength], decoded[kSubLength];
    for (int t = 0; t <= mode_.codedSubBlocks; ++t) {
        const Target tg = targetAt(mode_, f.start, f.stateFirst, t);
        targetMemory(excitation, tg.validBegin, tg.validEnd, tg.pos, tg.len, tg.backward, tg.lMem, mem);
        for (int i = 0; i < tg.len; ++i)
            target[i] = tg.backward ? residual[tg.pos + tg.len - 1 - i] : residual[tg.pos + i];
        searchCodebook(mem, tg.lMem, target, tg.len, weight + tg.subBlock * kLpcSize, t == 1, f.cb[t],
                       f.gain[t]);
        decodeTarget(mem, tg.lMem, tg.len, f.cb[t], f.gain[t], decoded);
        placeTarget(tg, decoded, excitation);
    }
    packFrame(mode_, f, bytes);
}

}  // namespace orvane::ilbc
