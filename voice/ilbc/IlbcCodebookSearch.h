#pragma once

// Encoder side of the adaptive codebook: three stages of gain-shape search in the
// perceptually weighted domain, then the first stage's gain raised where the coded target
// falls short of the target's energy.

namespace orvane::ilbc {

// mem: the unweighted codebook memory (lMem samples), target: len samples in coding order,
// weight: A(z/0.4222) of the target's sub-block. firstFortyTarget limits the later stages
// to the vectors their 7-bit fields can carry.
void searchCodebook(const float* mem, int lMem, const float* target, int len, const float* weight,
                    bool firstFortyTarget, int* index, int* gainIndex);

}  // namespace orvane::ilbc
