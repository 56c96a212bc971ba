#include "voice/ilbc/IlbcCodebookSearch.h"

#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcCodebook.h"
#include "voice/ilbc/IlbcLpc.h"

#include <algorithm>
#include <cmath>

namespace orvane::ilbc {

namespace {

constexpr int kMaxVectors = 256;

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

}  // namespace

void searchCodebook(const float* mem, int lMem, const float* target, int len, const float* weight,
                    bool firstFortyTarget, int* index, int* gainIndex)
{
    // Weight memory and target as one signal from a zero state.
    float weighted[kMemLength + kSubLength];
    float zeroMem[kOrder] = {};
    std::copy(mem, mem + lMem, weighted);
    std::copy(target, target + len, weighted + lMem);
    synthesisFilter(weighted, lMem + len, weight, zeroMem);
    const float* wmem = weighted;
    float residue[kSubLength];
    std::copy(weighted + lMem, weighted + lMem + len, residue);

    float expanded[kMemLength];
    expandMemory(wmem, lMem, expanded);
    const int size = codebookSize(lMem, len);
    static thread_local float vectors[kMaxVectors][kSubLength];
    float energy[kMaxVectors];
    for (int i = 0; i < size; ++i) {
        codebookVector(wmem, expanded, lMem, len, i, vectors[i]);
        float e = 0.0f;
        for (int k = 0; k < len; ++k)
            e += vectors[i][k] * vectors[i][k];
        energy[i] = e;
    }

    float targetEnergy = 0.0f;
    for (int k = 0; k < len; ++k)
        targetEnergy += residue[k] * residue[k];

    float gains[kStages];
    float firstGain = 0.0f;
    for (int s = 0; s < kStages; ++s) {
        int best = -1;
        float bestMeasure = 0.0f;
        float bestGain = 0.0f;
        for (int i = 0; i < size; ++i) {
            if (energy[i] <= 1e-6f)
                continue;
            if (firstFortyTarget && s > 0 && !codableInFirstTarget(i))
                continue;
            float cross = 0.0f;
            for (int k = 0; k < len; ++k)
                cross += residue[k] * vectors[i][k];
            if (s == 0 && cross <= 0.0f)
                continue;
            const float gain = cross / energy[i];
            if (std::fabs(gain) >= kMaxGain)
                continue;
            const float measure = cross * gain;
            if (best < 0 || measure > bestMeasure) {
                best = i;
                bestMeasure = measure;
                bestGain = gain;
            }
        }
        if (best < 0) {
            best = 0;
            bestGain = 0.0f;
        }
        index[s] = best;
        if (s == 0) {
            firstGain = bestGain;
            gainIndex[0] = nearestScaled(kGain5, 32, 1.0f, bestGain);
            gains[0] = kGain5[gainIndex[0]];
        } else {
            const float scale = std::max(0.1f, std::fabs(gains[s - 1]));
            if (s == 1) {
                gainIndex[1] = nearestScaled(kGain4, 16, scale, bestGain);
                gains[1] = scale * kGain4[gainIndex[1]];
            } else {
                gainIndex[2] = nearestScaled(kGain3, 8, scale, bestGain);
                gains[2] = scale * kGain3[gainIndex[2]];
            }
        }
        for (int k = 0; k < len; ++k)
            residue[k] -= gains[s] * vectors[best][k];
    }

    // Squared-error matching codes noise-like targets too weakly: raise the first gain
    // (no more than to twice the searched gain) while the coded energy stays below the
    // target's. The later gains scale with it.
    float coded[kSubLength] = {};
    for (int s = 0; s < kStages; ++s)
        for (int k = 0; k < len; ++k)
            coded[k] += gains[s] * vectors[index[s]][k];
    float codedEnergy = 0.0f;
    for (int k = 0; k < len; ++k)
        codedEnergy += coded[k] * coded[k];
    if (codedEnergy > 0.0f && gains[0] > 0.0f) {
        for (int i = gainIndex[0] + 1; i < 32; ++i) {
            const float ratio = kGain5[i] / gains[0];
            if (kGain5[i] > 2.0f * firstGain || codedEnergy * ratio * ratio >= targetEnergy)
                break;
            gainIndex[0] = i;
        }
    }
}

}  // namespace orvane::ilbc
