#include "voice/ilbc/IlbcDecoder.h"

#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcExcitation.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>

namespace orvane::ilbc {

Decoder::Decoder(int frameMs, bool enhancer)
{
    init(frameMs, enhancer);
}

void Decoder::init(int frameMs, bool enhancer)
{
    mode_ = Mode::of(frameMs);
    enhancer_ = enhancer;
    std::memcpy(lsfOld_, kLsfMean, sizeof(lsfOld_));
    std::fill(std::begin(synthesisMem_), std::end(synthesisMem_), 0.0f);
    std::fill(std::begin(highPassMem_), std::end(highPassMem_), 0.0f);
    std::fill(std::begin(oldLpc_), std::end(oldLpc_), 0.0f);
    for (int s = 0; s < kMaxSub; ++s)
        oldLpc_[s * kLpcSize] = 1.0f;
    enhance_.reset();
    conceal_.reset(mode_);
}

bool Decoder::decodeFrame(const uint8_t* bytes, float* excitation, float* lpc)
{
    FrameIndices f;
    unpackFrame(mode_, bytes, f);
    if (f.empty || !indicesValid(mode_, f))
        return false;
    float lsf[2 * kOrder];
    for (int v = 0; v < mode_.lpcSets; ++v) {
        dequantizeLsf(f.lsf + 3 * v, lsf + v * kOrder);
        stabilizeLsf(lsf + v * kOrder);
    }
    interpolateLpc(mode_, lsfOld_, lsf, lpc);
    std::memcpy(lsfOld_, lsf + (mode_.lpcSets - 1) * kOrder, sizeof(lsfOld_));
    decodeExcitation(mode_, f, lpc, excitation);
    return true;
}

void Decoder::decode(const uint8_t* bytes, float* samples)
{
    float excitation[kMaxBlock];
    float lpc[kMaxSub * kLpcSize];
    if (decodeFrame(bytes, excitation, lpc))
        conceal_.received(excitation, lpc + (mode_.subBlocks - 1) * kLpcSize);
    else
        conceal_.conceal(excitation, lpc);
    synthesize(excitation, lpc, samples);
}

void Decoder::decodeLost(float* samples)
{
    float excitation[kMaxBlock];
    float lpc[kMaxSub * kLpcSize];
    conceal_.conceal(excitation, lpc);
    synthesize(excitation, lpc, samples);
}

void Decoder::synthesize(const float* excitation, const float* lpc, float* samples)
{
    const int n = mode_.blockLength;
    float out[kMaxBlock];
    if (enhancer_) {
        // The enhanced excitation lags by whole sub-blocks, which keep the previous
        // frame's filters.
        enhance_.process(mode_, excitation, out);
        const int lagging = Enhancer::delay(mode_) / kSubLength;
        for (int s = 0; s < mode_.subBlocks; ++s) {
            const float* a = s < lagging ? oldLpc_ + (mode_.subBlocks - lagging + s) * kLpcSize
                                         : lpc + (s - lagging) * kLpcSize;
            synthesisFilter(out + s * kSubLength, kSubLength, a, synthesisMem_);
        }
    } else {
        std::memcpy(out, excitation, sizeof(float) * n);
        for (int s = 0; s < mode_.subBlocks; ++s)
            synthesisFilter(out + s * kSubLength, kSubLength, lpc + s * kLpcSize, synthesisMem_);
    }
    biquad(out, n, kHpOutZero, kHpOutPole, highPassMem_, out);
    bool finite = true;
    for (int i = 0; i < n; ++i)
        finite = finite && std::isfinite(out[i]);
    if (!finite) {
        // Cannot happen with stable filters; should it, the filters start afresh rather
        // than carry the fault into every later frame.
        std::fill(out, out + n, 0.0f);
        std::fill(std::begin(synthesisMem_), std::end(synthesisMem_), 0.0f);
        std::fill(std::begin(highPassMem_), std::end(highPassMem_), 0.0f);
        enhance_.reset();
    }
    for (int i = 0; i < n; ++i)
        samples[i] = std::clamp(out[i], -32768.0f, 32767.0f);
    std::memcpy(oldLpc_, lpc, sizeof(float) * mode_.subBlocks * kLpcSize);
}

}  // namespace orvane::ilbc
