#include "voice/ilbc/IlbcCodebook.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvane::ilbc {

namespace {

// Augmented vector for lag 20..39 from the end of buffer (length lMem).
void augmentedVector(const float* buffer, int lMem, int lag, float* out)
{
    const float* end = buffer + lMem;
    // The lag's first lag-5 samples, the memory's last five faded into the samples one lag
    // before them, then the lag's samples again up to the vector's end.
    for (int j = 0; j < lag - 5; ++j)
        out[j] = end[-lag + j];
    for (int j = 0; j < 5; ++j) {
        const float w = 0.2f * j;
        out[lag - 5 + j] = (1.0f - w) * end[-5 + j] + w * end[-lag - 5 + j];
    }
    for (int j = lag; j < kSubLength; ++j)
        out[j] = end[-lag + (j - lag)];
}

void sectionVector(const float* buffer, int lMem, int len, int index, float* out)
{
    const int regular = lMem - len + 1;
    if (index < regular) {
        std::memcpy(out, buffer + lMem - len - index, sizeof(float) * len);
        return;
    }
    augmentedVector(buffer, lMem, index - regular + 20, out);
}

}  // namespace

void expandRange(const float* mem, int lMem, int from, int to, float* expanded)
{
    for (int k = from; k < to; ++k) {
        float s = 0.0f;
        if (k >= 3 && k + 4 < lMem) {
            const float* x = mem + k - 3;
            for (int i = 0; i < kFilterLength; ++i)
                s += kCbFilter[i] * x[i];
        } else {
            for (int i = 0; i < kFilterLength; ++i) {
                const int j = k + i - 3;
                if (j >= 0 && j < lMem)
                    s += kCbFilter[i] * mem[j];
            }
        }
        expanded[k] = s;
    }
}

void expandMemory(const float* mem, int lMem, float* expanded)
{
    expandRange(mem, lMem, 0, lMem, expanded);
}

void codebookVector(const float* mem, const float* expanded, int lMem, int len, int index, float* out)
{
    const int section = sectionSize(lMem, len);
    if (index < section)
        sectionVector(mem, lMem, len, index, out);
    else
        sectionVector(expanded, lMem, len, index - section, out);
}

void dequantizeGains(const int* index, float* gain)
{
    gain[0] = kGain5[index[0] & 31];
    float scale = std::max(0.1f, std::fabs(gain[0]));
    gain[1] = scale * kGain4[index[1] & 15];
    scale = std::max(0.1f, std::fabs(gain[1]));
    gain[2] = scale * kGain3[index[2] & 7];
}

void decodeTarget(const float* mem, int lMem, int len, const int* index, const int* gainIndex, float* out)
{
    // The expanded memory only where the chosen vectors read it.
    const int section = sectionSize(lMem, len);
    const int regular = lMem - len + 1;
    int from = lMem;
    for (int s = 0; s < kStages; ++s) {
        if (index[s] < section)
            continue;
        const int k = index[s] - section;
        const int start = k < regular ? lMem - len - k : lMem - (k - regular + 20) - 5;
        from = std::min(from, start);
    }
    float expanded[kMemLength];
    expandRange(mem, lMem, from, lMem, expanded);
    float gain[kStages];
    dequantizeGains(gainIndex, gain);
    float vec[kSubLength];
    std::fill(out, out + len, 0.0f);
    for (int s = 0; s < kStages; ++s) {
        codebookVector(mem, expanded, lMem, len, index[s], vec);
        for (int i = 0; i < len; ++i)
            out[i] += gain[s] * vec[i];
    }
}

void targetMemory(const float* excitation, int validBegin, int validEnd, int pos, int len, bool backward,
                  int lMem, float* mem)
{
    for (int j = 0; j < lMem; ++j) {
        // Distance back from the target's nearest edge: the memory's last sample is 1.
        const int back = lMem - j;
        const int t = backward ? pos + len - 1 + back : pos - back;
        mem[j] = (t >= validBegin && t < validEnd) ? excitation[t] : 0.0f;
    }
}

}  // namespace orvane::ilbc
