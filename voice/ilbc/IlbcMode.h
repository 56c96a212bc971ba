#pragma once

// The two frame modes of iLBC and the quantities that follow from them.

namespace orvane::ilbc {

struct Mode {
    int frameMs;
    int blockLength;     // samples per frame
    int subBlocks;       // 40-sample sub-blocks per frame
    int codedSubBlocks;  // sub-blocks coded from the codebook (all but the start state's two)
    int lpcSets;         // LSF vectors sent per frame
    int stateShort;      // scalar-coded samples of the start state
    int bytes;           // frame size on the wire

    // 20 gives the 20 ms mode; anything else the 30 ms mode.
    static Mode of(int frameMs)
    {
        if (frameMs == 20)
            return {20, 160, 4, 2, 1, 57, 38};
        return {30, 240, 6, 4, 2, 58, 50};
    }
};

}  // namespace orvane::ilbc
