#include "voice/ilbc/IlbcBitstream.h"

namespace orvane::ilbc {

namespace {

// Bits of a field in class 1, 2 and 3.
struct Split {
    int c[3];
};

constexpr Split kLsf6{{6, 0, 0}};
constexpr Split kLsf7{{7, 0, 0}};
constexpr Split kStateSample{{0, 1, 2}};

// The short target's fields, then those of each 40-sample target, per mode.
constexpr Split kShortIndex20[3] = {{{6, 0, 1}}, {{0, 0, 7}}, {{0, 0, 7}}};
constexpr Split kShortGain20[3] = {{{2, 0, 3}}, {{1, 1, 2}}, {{0, 0, 3}}};
constexpr Split kIndex20[2][3] = {{{{7, 0, 1}}, {{0, 0, 7}}, {{0, 0, 7}}},
                                  {{{0, 0, 8}}, {{0, 0, 8}}, {{0, 0, 8}}}};
constexpr Split kGain20[2][3] = {{{{1, 2, 2}}, {{1, 1, 2}}, {{0, 0, 3}}},
                                 {{{1, 1, 3}}, {{0, 2, 2}}, {{0, 0, 3}}}};

constexpr Split kShortIndex30[3] = {{{4, 2, 1}}, {{0, 0, 7}}, {{0, 0, 7}}};
constexpr Split kShortGain30[3] = {{{1, 1, 3}}, {{1, 1, 2}}, {{0, 0, 3}}};
constexpr Split kIndex30[4][3] = {{{{6, 1, 1}}, {{0, 0, 7}}, {{0, 0, 7}}},
                                  {{{0, 7, 1}}, {{0, 0, 8}}, {{0, 0, 8}}},
                                  {{{0, 7, 1}}, {{0, 0, 8}}, {{0, 0, 8}}},
                                  {{{0, 7, 1}}, {{0, 0, 8}}, {{0, 0, 8}}}};
constexpr Split kGain30[4][3] = {{{{1, 2, 2}}, {{1, 2, 1}}, {{0, 0, 3}}},
                                 {{{0, 2, 3}}, {{0, 2, 2}}, {{0, 0, 3}}},
                                 {{{0, 1, 4}}, {{0, 1, 3}}, {{0, 0, 3}}},
                                 {{{0, 1, 4}}, {{0, 1, 3}}, {{0, 0, 3}}}};

// Calls visit(field, split) for every field in the frame's order.
template <typename Indices, typename Visit>
void forEachField(const Mode& mode, Indices& f, Visit visit)
{
    const bool is20 = mode.frameMs == 20;
    for (int v = 0; v < mode.lpcSets; ++v) {
        visit(f.lsf[3 * v], kLsf6);
        visit(f.lsf[3 * v + 1], kLsf7);
        visit(f.lsf[3 * v + 2], kLsf7);
    }
    visit(f.start, is20 ? Split{{2, 0, 0}} : Split{{3, 0, 0}});
    visit(f.stateFirst, Split{{1, 0, 0}});
    visit(f.scale, Split{{6, 0, 0}});
    for (int i = 0; i < mode.stateShort; ++i)
        visit(f.state[i], kStateSample);
    for (int s = 0; s < kStages; ++s)
        visit(f.cb[0][s], is20 ? kShortIndex20[s] : kShortIndex30[s]);
    for (int s = 0; s < kStages; ++s)
        visit(f.gain[0][s], is20 ? kShortGain20[s] : kShortGain30[s]);
    for (int t = 0; t < mode.codedSubBlocks; ++t)
        for (int s = 0; s < kStages; ++s)
            visit(f.cb[t + 1][s], is20 ? kIndex20[t][s] : kIndex30[t][s]);
    for (int t = 0; t < mode.codedSubBlocks; ++t)
        for (int s = 0; s < kStages; ++s)
            visit(f.gain[t + 1][s], is20 ? kGain20[t][s] : kGain30[t][s]);
    visit(f.empty, Split{{0, 0, 1}});
}

int width(const Split& s)
{
    return s.c[0] + s.c[1] + s.c[2];
}

// Bits below the given class's part of a field.
int shiftFor(const Split& s, int cls)
{
    int below = 0;
    for (int c = cls + 1; c < 3; ++c)
        below += s.c[c];
    return below;
}

// The 7-bit fields of the first 40-sample target's second and third stages leave out base
// and expanded vectors of lags 84..147.
int toField(int index)
{
    if (index < 44)
        return index;
    if (index < 172)
        return index - 64;
    return index - 128;
}

int fromField(int field)
{
    if (field < 44)
        return field;
    if (field < 108)
        return field + 64;
    return field + 128;
}

}  // namespace

bool codableInFirstTarget(int index)
{
    return (index >= 0 && index < 44) || (index >= 108 && index < 172) || (index >= 236 && index < 256);
}

void packFrame(const Mode& mode, const FrameIndices& in, uint8_t* bytes)
{
    FrameIndices f = in;
    for (int s = 1; s < kStages; ++s)
        f.cb[1][s] = toField(f.cb[1][s]);
    for (int i = 0; i < mode.bytes; ++i)
        bytes[i] = 0;
    int bit = 0;
    for (int cls = 0; cls < 3; ++cls) {
        forEachField(mode, f, [&](const int& value, const Split& split) {
            const int n = split.c[cls];
            const int shift = shiftFor(split, cls);
            const unsigned field = static_cast<unsigned>(value) & ((1u << width(split)) - 1u);
            for (int b = n - 1; b >= 0; --b, ++bit) {
                if ((field >> (shift + b)) & 1u)
                    bytes[bit >> 3] |= static_cast<uint8_t>(0x80u >> (bit & 7));
            }
        });
    }
}

void unpackFrame(const Mode& mode, const uint8_t* bytes, FrameIndices& out)
{
    out = FrameIndices();
    int bit = 0;
    for (int cls = 0; cls < 3; ++cls) {
        forEachField(mode, out, [&](int& value, const Split& split) {
            const int n = split.c[cls];
            if (n == 0)
                return;
            // The n bits from bit on, most significant first; they span at most two bytes.
            const int byte = bit >> 3;
            unsigned window = static_cast<unsigned>(bytes[byte]) << 8;
            if (byte + 1 < mode.bytes)
                window |= bytes[byte + 1];
            const unsigned field = (window >> (16 - (bit & 7) - n)) & ((1u << n) - 1u);
            value |= static_cast<int>(field << shiftFor(split, cls));
            bit += n;
        });
    }
    for (int s = 1; s < kStages; ++s)
        out.cb[1][s] = fromField(out.cb[1][s]);
}

}  // namespace orvane::ilbc
