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

    // Each stage takes the vector whose quantised gain removes the most error energy.
    static const float* const kTables[kStages] = {kGain5, kGain4, kGain3};
    static const int kTableSizes[kStages] = {32, 16, 8};
    float gains[kStages];
    float firstGain = 0.0f;
    for (int s = 0; s < kStages; ++s) {
        const float scale = s == 0 ? 1.0f : std::max(0.1f, std::fabs(gains[s - 1]));
        int best = 0;
        int bestGainIndex = s == 0 ? 0 : (s == 1 ? 7 : 3);  // the zero gains of the later stages
        float bestGain = 0.0f;
        float bestReduction = 0.0f;
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
            const int q = nearestScaled(kTables[s], kTableSizes[s], scale, gain);
            const float gq = scale * kTables[s][q];
            const float reduction = 2.0f * gq * cross - gq * gq * energy[i];
            if (reduction > bestReduction) {
                best = i;
                bestReduction = reduction;
                bestGainIndex = q;
                bestGain = gain;
            }
        }
        index[s] = best;
        gainIndex[s] = bestGainIndex;
        gains[s] = scale * kTables[s][bestGainIndex];
        if (s == 0)
            firstGain = bestGain;
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
