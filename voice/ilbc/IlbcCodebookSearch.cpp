#include "voice/ilbc/IlbcCodebookSearch.h"

#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcCodebook.h"
#include "voice/ilbc/IlbcLpc.h"
#include "voice/ilbc/IlbcMath.h"

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

    // Regular vectors are read in place; only the augmented ones are built. Energies of
    // the regular vectors slide along the memory one sample at a time.
    const int size = codebookSize(lMem, len);
    const int section = sectionSize(lMem, len);
    const int regular = lMem - len + 1;
    float augmented[2 * 20][kSubLength];
    const float* vectors[kMaxVectors];
    float energy[kMaxVectors];
    for (int half = 0; half < 2; ++half) {
        const float* buffer = half ? expanded : wmem;
        const int first = half * section;
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
    // The memory with zeros either side, so that correlations reach the expansion filter's
    // span beyond its ends.
    float padded[kMemLength + 16] = {};
    std::copy(wmem, wmem + lMem, padded + 8);

    float targetEnergy = dot(residue, residue, len);

    // Each stage takes the vector whose quantised gain removes the most error energy. The
    // unquantised gain's reduction bounds the quantised one, so only the vectors whose bound
    // beats the best so far have their gain quantised.
    static const float* const kTables[kStages] = {kGain5, kGain4, kGain3};
    static const int kTableSizes[kStages] = {32, 16, 8};
    float gains[kStages];
    float firstGain = 0.0f;
    float cross[kMaxVectors];
    float bound[kMaxVectors];
    for (int s = 0; s < kStages; ++s) {
        const float scale = s == 0 ? 1.0f : std::max(0.1f, std::fabs(gains[s - 1]));
        // Correlations of the residue with the memory at every position a regular vector or
        // the expansion filter reaches; an expanded vector's correlation is the filter
        // applied to them.
        float corr[kMemLength + 8];
        for (int q = -3; q <= regular + 3; ++q)
            corr[q + 3] = dot(residue, padded + 8 + q, len);
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
        for (int i = 0; i < size; ++i) {
            bound[i] = -1.0f;
            if (energy[i] <= 1e-6f)
                continue;
            if (firstFortyTarget && s > 0 && !codableInFirstTarget(i))
                continue;
            const float c = cross[i];
            if (s == 0 && c <= 0.0f)
                continue;
            if (std::fabs(c) >= kMaxGain * energy[i])
                continue;
            bound[i] = c * c / energy[i];
        }
        int best = 0;
        int bestGainIndex = s == 0 ? 0 : (s == 1 ? 7 : 3);  // the zero gains of the later stages
        float bestGain = 0.0f;
        float bestReduction = 0.0f;
        auto consider = [&](int i) {
            const float gain = cross[i] / energy[i];
            const int q = nearestScaled(kTables[s], kTableSizes[s], scale, gain);
            const float gq = scale * kTables[s][q];
            const float reduction = 2.0f * gq * cross[i] - gq * gq * energy[i];
            if (reduction > bestReduction) {
                best = i;
                bestReduction = reduction;
                bestGainIndex = q;
                bestGain = gain;
            }
        };
        // The largest bound first: its quantised reduction is rarely beaten, which leaves
        // few others to quantise.
        int top = -1;
        for (int i = 0; i < size; ++i)
            if (bound[i] > 0.0f && (top < 0 || bound[i] > bound[top]))
                top = i;
        if (top >= 0) {
            consider(top);
            for (int i = 0; i < size; ++i)
                if (i != top && bound[i] > bestReduction)
                    consider(i);
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
    const float codedEnergy = dot(coded, coded, len);
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
