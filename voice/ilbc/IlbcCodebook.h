#pragma once

// The adaptive codebook: vectors cut from a memory of already decoded excitation (the base
// section), the same from the memory smoothed by an 8-tap filter (the expanded section),
// and for 40-sample targets 20 vectors per section for lags 20..39, made by repeating the
// memory's end with a 5-sample cross-fade (the augmented vectors).
//
// Index order in each section: lags target length..memory length, then the augmented lags
// 20..39; the expanded section follows the base section.

#include "voice/ilbc/IlbcTables.h"

namespace orvane::ilbc {

// Vectors in one section for a memory of lMem samples and a target of len samples.
inline int sectionSize(int lMem, int len)
{
    return lMem - len + 1 + (len == kSubLength ? 20 : 0);
}

inline int codebookSize(int lMem, int len)
{
    return 2 * sectionSize(lMem, len);
}

// The expanded section's memory: the filter applied to mem (zero outside it).
void expandMemory(const float* mem, int lMem, float* expanded);
// The same for expanded[from..to) only.
void expandRange(const float* mem, int lMem, int from, int to, float* expanded);

// Vector index of the codebook over mem/expanded (index < codebookSize).
void codebookVector(const float* mem, const float* expanded, int lMem, int len, int index, float* out);

// Gains of the three stages from their indices: the first from the 5-bit table, the later
// ones from their tables scaled by the previous stage's gain (at least 0.1).
void dequantizeGains(const int* index, float* gain);

// The decoded target: sum of the three stages' vectors times their gains.
void decodeTarget(const float* mem, int lMem, int len, const int* index, const int* gainIndex, float* out);

// Sets up the codebook memory for a target of len samples at position pos of the frame's
// excitation. Forward targets take the samples before pos; backward targets the samples
// after the target, time reversed, so the memory ends with the sample nearest the target.
// Only samples in [validBegin, validEnd) are decoded; the rest of the memory is zero.
void targetMemory(const float* excitation, int validBegin, int validEnd, int pos, int len, bool backward,
                  int lMem, float* mem);

}  // namespace orvane::ilbc
