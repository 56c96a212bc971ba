#include "voice/ilbc/IlbcCodebookSearch.h"

#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcCodebook.h"
#include "voice/ilbc/IlbcLpc.h"
#include "voice/ilbc/IlbcMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>

namespace orvane::ilbc {

namespace {

constexpr int kMaxVectors = 256;

const float* const kGainTables[kStages] = {kGain5, kGain4, kGain3};
const int kGainTableSizes[kStages] = {32, 16, 8};
const int kZeroGain[kStages] = {0, 7, 3};  // the first stage has no zero gain: its smallest

int nearestScaled(const float* table, int size, float scale, float v)
{
    int best = 0;
    float bestErr = std::fabs(v - scale * table[0]);
    for (int i = 1; i < size; ++i) {
        const float err = std::fabs(v - scale * table[i]);
        if (err < bestErr) {
            bestErr = err;
            best = i;
        }
    }
    return best;
}

// Which vectors a stage may take: all, or those the first 40-sample target's 7-bit fields
// can carry.
struct Allowed {
    uint8_t codable[kMaxVectors];
    uint8_t everything[kMaxVectors];
    Allowed()
    {
        for (int i = 0; i < kMaxVectors; ++i) {
            codable[i] = codableInFirstTarget(i) ? 1 : 0;
            everything[i] = 1;
        }
    }
};

// The perceptually weighted codebook of one target. Regular vectors point into the
// weighted (or expanded) memory; only the augmented ones are built.
struct Codebook {
    int lMem = 0;
    int len = 0;
    int size = 0;
    int section = 0;
    int regular = 0;
    const float* vectors[kMaxVectors];
    float energy[kMaxVectors];
    float augmented[2 * 20][kSubLength];
    float expanded[kMemLength];
    float padded[kMemLength + 16];  // the weighted memory with zeros either side

    Codebook(const float* wmem, int memLength, int targetLength)
        : lMem(memLength), len(targetLength), size(codebookSize(memLength, targetLength)),
          section(sectionSize(memLength, targetLength)), regular(memLength - targetLength + 1)
    {
        expandMemory(wmem, lMem, expanded);
        for (int half = 0; half < 2; ++half) {
            const float* buffer = half ? expanded : wmem;
            const int first = half * section;
            // Energies of the regular vectors slide along the memory one sample at a time.
            double e = dot(buffer + lMem - len, buffer + lMem - len, len);
            for (int n = 0; n < regular; ++n) {
                const float* v = buffer + lMem - len - n;
                if (n > 0)
                    e += static_cast<double>(v[0]) * v[0] - static_cast<double>(v[len]) * v[len];
                vectors[first + n] = v;
                energy[first + n] = static_cast<float>(std::max(e, 0.0));
            }
            for (int k = regular; k < section; ++k) {
                float* v = augmented[half * 20 + k - regular];
                codebookVector(wmem, expanded, lMem, len, first + k, v);
                vectors[first + k] = v;
                energy[first + k] = dot(v, v, len);
            }
        }
        std::fill(std::begin(padded), std::end(padded), 0.0f);
        std::copy(wmem, wmem + lMem, padded + 8);
    }

    // cross[i] = residue . vector i. The regular vectors' correlations come from those of
    // the residue with the memory at every position (accumulated one residue sample at a
    // time: contiguous multiply-adds that run on vectors); an expanded vector's correlation
    // is the expansion filter applied to them.
    void correlate(const float* residue, float* cross) const
    {
        float corr[kMemLength + 8] = {};
        const int positions = regular + 7;  // positions -3 .. regular + 3
        for (int k = 0; k < len; ++k) {
            const float r = residue[k];
            const float* m = padded + 5 + k;
            for (int q = 0; q < positions; ++q)
                corr[q] += r * m[q];
        }
        for (int n = 0; n < regular; ++n) {
            const int p = lMem - len - n;
            cross[n] = corr[p + 3];
            float c = 0.0f;
            for (int i = 0; i < kFilterLength; ++i)
                c += kCbFilter[i] * corr[p + i];
            cross[section + n] = c;
        }
        for (int k = regular; k < section; ++k) {
            cross[k] = dot(residue, vectors[k], len);
            cross[section + k] = dot(residue, vectors[section + k], len);
        }
    }
};

struct StageChoice {
    int index = 0;
    int gainIndex = 0;
    float searchedGain = 0.0f;  // before quantisation
};

// The vector whose quantised gain removes the most error energy. The unquantised gain's
// reduction bounds the quantised one, so only vectors whose bound beats the best so far
// have their gain quantised, the largest bound first.
StageChoice chooseVector(const Codebook& cb, const float* cross, int stage, float scale, const uint8_t* allowed)
{
    // Each vector's bound, or -1 where it may not be taken: no energy, a gain beyond the
    // limit, a negative first-stage gain, or no field to carry it. Written without
    // branches so that the loop runs on vectors.
    StageChoice best;
    best.gainIndex = kZeroGain[stage];
    if (cb.size <= 0)
        return best;
    const float lowest = stage == 0 ? 0.0f : -std::numeric_limits<float>::infinity();
    float bound[kMaxVectors];
    for (int i = 0; i < cb.size; ++i) {
        const float c = cross[i];
        const float e = cb.energy[i];
        const bool ok = (e > 1e-6f) & (std::fabs(c) < kMaxGain * e) & (c > lowest) & (allowed[i] != 0);
        const float b = c * c / (e + 1e-30f);
        bound[i] = ok ? b : -1.0f;
    }

    float bestReduction = 0.0f;
    auto consider = [&](int i) {
        const float gain = cross[i] / cb.energy[i];
        const int q = nearestScaled(kGainTables[stage], kGainTableSizes[stage], scale, gain);
        const float gq = scale * kGainTables[stage][q];
        const float reduction = 2.0f * gq * cross[i] - gq * gq * cb.energy[i];
        if (reduction > bestReduction) {
            bestReduction = reduction;
            best.index = i;
            best.gainIndex = q;
            best.searchedGain = gain;
        }
    };
    const float topBound = maxOf(bound, cb.size);
    if (topBound > 0.0f) {
        int top = 0;
        while (bound[top] != topBound)
            ++top;
        consider(top);
        for (int i = firstAbove(bound, 0, cb.size, bestReduction); i < cb.size;
             i = firstAbove(bound, i + 1, cb.size, bestReduction))
            if (i != top)
                consider(i);
    }
    return best;
}

}  // namespace

void searchCodebook(const float* mem, int lMem, const float* target, int len, const float* weight,
                    bool firstFortyTarget, int* index, int* gainIndex)
{
    static const Allowed allowedSets;

    // Weight memory and target as one signal from a zero state. Leading zeros of the
    // memory (not yet decoded) stay zero through the filter.
    float weighted[kMemLength + kSubLength];
    float zeroMem[kOrder] = {};
    std::copy(mem, mem + lMem, weighted);
    std::copy(target, target + len, weighted + lMem);
    int decodedFrom = 0;
    while (decodedFrom < lMem && weighted[decodedFrom] == 0.0f)
        ++decodedFrom;
    synthesisFilter(weighted + decodedFrom, lMem + len - decodedFrom, weight, zeroMem);
    float residue[kSubLength];
    std::copy(weighted + lMem, weighted + lMem + len, residue);
    const float targetEnergy = dot(residue, residue, len);

    const Codebook cb(weighted, lMem, len);
    float gains[kStages];
    float searchedFirstGain = 0.0f;
    float cross[kMaxVectors];
    for (int s = 0; s < kStages; ++s) {
        const float scale = s == 0 ? 1.0f : std::max(0.1f, std::fabs(gains[s - 1]));
        const uint8_t* allowed = firstFortyTarget && s > 0 ? allowedSets.codable : allowedSets.everything;
        cb.correlate(residue, cross);
        const StageChoice choice = chooseVector(cb, cross, s, scale, allowed);
        index[s] = choice.index;
        gainIndex[s] = choice.gainIndex;
        gains[s] = scale * kGainTables[s][choice.gainIndex];
        if (s == 0)
            searchedFirstGain = choice.searchedGain;
        for (int k = 0; k < len; ++k)
            residue[k] -= gains[s] * cb.vectors[choice.index][k];
    }

    // Squared-error matching codes noise-like targets too weakly: raise the first gain
    // (no more than to twice the searched gain) while the coded energy stays below the
    // target's. The later gains scale with it.
    float coded[kSubLength] = {};
    for (int s = 0; s < kStages; ++s)
        for (int k = 0; k < len; ++k)
            coded[k] += gains[s] * cb.vectors[index[s]][k];
    const float codedEnergy = dot(coded, coded, len);
    if (codedEnergy > 0.0f && gains[0] > 0.0f) {
        for (int i = gainIndex[0] + 1; i < 32; ++i) {
            const float ratio = kGain5[i] / gains[0];
            if (kGain5[i] > 2.0f * searchedFirstGain || codedEnergy * ratio * ratio >= targetEnergy)
                break;
            gainIndex[0] = i;
        }
    }
}

}  // namespace orvane::ilbc
