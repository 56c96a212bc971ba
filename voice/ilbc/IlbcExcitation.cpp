#include "voice/ilbc/IlbcExcitation.h"

#include "voice/ilbc/IlbcCodebook.h"
#include "voice/ilbc/IlbcLpc.h"
#include "voice/ilbc/IlbcStartState.h"

namespace orvane::ilbc {

Target targetAt(const Mode& mode, int start, int stateFirst, int t)
{
    const int first = start - 1;  // the state's first sub-block
    const int stateBegin = first * kSubLength;
    const int shortLen = kStateLength - mode.stateShort;
    Target r;
    if (t == 0) {
        r.len = shortLen;
        r.lMem = kShortMemLength;
        if (stateFirst) {
            r.pos = stateBegin + mode.stateShort;
            r.validBegin = stateBegin;
            r.validEnd = r.pos;
            r.subBlock = first + 1;
        } else {
            r.pos = stateBegin;
            r.backward = true;
            r.validBegin = stateBegin + shortLen;
            r.validEnd = stateBegin + kStateLength;
            r.subBlock = first;
        }
        return r;
    }
    r.len = kSubLength;
    r.lMem = kMemLength;
    const int forward = mode.subBlocks - start - 1;
    if (t <= forward) {
        r.subBlock = start + t;
        r.pos = r.subBlock * kSubLength;
        r.validBegin = stateBegin;
        r.validEnd = r.pos;
    } else {
        r.subBlock = first - (t - forward);
        r.pos = r.subBlock * kSubLength;
        r.backward = true;
        r.validBegin = r.pos + kSubLength;
        r.validEnd = mode.blockLength;
    }
    return r;
}

int statePosition(const Mode& mode, int start, int stateFirst)
{
    const int stateBegin = (start - 1) * kSubLength;
    return stateFirst ? stateBegin : stateBegin + kStateLength - mode.stateShort;
}

void placeTarget(const Target& target, const float* decoded, float* excitation)
{
    for (int i = 0; i < target.len; ++i) {
        if (target.backward)
            excitation[target.pos + target.len - 1 - i] = decoded[i];
        else
            excitation[target.pos + i] = decoded[i];
    }
}

bool indicesValid(const Mode& mode, const FrameIndices& f)
{
    if (f.start < 1 || f.start > mode.subBlocks - 1)
        return false;
    const int shortSize = codebookSize(kShortMemLength, kStateLength - mode.stateShort);
    for (int s = 0; s < kStages; ++s) {
        if (f.cb[0][s] < 0 || f.cb[0][s] >= shortSize)
            return false;
        for (int t = 1; t <= mode.codedSubBlocks; ++t)
            if (f.cb[t][s] < 0 || f.cb[t][s] >= codebookSize(kMemLength, kSubLength))
                return false;
    }
    return true;
}

void decodeExcitation(const Mode& mode, const FrameIndices& f, const float* lpc, float* excitation)
{
    for (int i = 0; i < mode.blockLength; ++i)
        excitation[i] = 0.0f;
    const int statePos = statePosition(mode, f.start, f.stateFirst);
    decodeStartState(lpc + (f.start - 1) * kLpcSize, f.scale, f.state, mode.stateShort, excitation + statePos);
    float mem[kMemLength];
    float decoded[kSubLength];
    for (int t = 0; t <= mode.codedSubBlocks; ++t) {
        const Target target = targetAt(mode, f.start, f.stateFirst, t);
        targetMemory(excitation, target.validBegin, target.validEnd, target.pos, target.len, target.backward,
                     target.lMem, mem);
        decodeTarget(mem, target.lMem, target.len, f.cb[t], f.gain[t], decoded);
        placeTarget(target, decoded, excitation);
    }
}

}  // namespace orvane::ilbc
