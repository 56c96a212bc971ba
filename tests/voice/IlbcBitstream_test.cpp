// Frames assembled by hand from the bit allocation table of the iLBC bit stream: every
// field's bits split over the three classes (more significant bits in the lower class),
// class 1 bits of all fields first, then class 2, then class 3, each byte filled from its
// most significant bit. The assembly here is the test's own; the codec's packing is checked
// against it, and libavcodec's decoder against our decoder on it.

#include "tests/voice/IlbcPeers.h"
#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcDecoder.h"

#include <gtest/gtest.h>

namespace orvane::ilbc {
namespace {

struct Field {
    int value;
    int c1, c2, c3;
};

std::vector<uint8_t> assemble(const std::vector<Field>& fields, int bytes)
{
    std::vector<uint8_t> out(bytes, 0);
    int bit = 0;
    for (int cls = 0; cls < 3; ++cls) {
        for (const Field& f : fields) {
            const int count[3] = {f.c1, f.c2, f.c3};
            int shift = 0;
            for (int c = cls + 1; c < 3; ++c)
                shift += count[c];
            for (int b = count[cls] - 1; b >= 0; --b, ++bit)
                if ((f.value >> (shift + b)) & 1)
                    out[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
        }
    }
    EXPECT_EQ(bit, bytes * 8);
    return out;
}

struct HandFrame {
    int ms;
    std::vector<Field> fields;
    FrameIndices expected;
};

// 30 ms: two LSF vectors, 58 state samples, four 40-sample targets.
HandFrame frame30()
{
    HandFrame h{30, {}, {}};
    FrameIndices& e = h.expected;
    auto add = [&](int value, int c1, int c2, int c3) { h.fields.push_back({value, c1, c2, c3}); };
    const int lsf[6] = {12, 70, 33, 40, 100, 5};
    for (int v = 0; v < 2; ++v) {
        add(lsf[3 * v], 6, 0, 0);
        add(lsf[3 * v + 1], 7, 0, 0);
        add(lsf[3 * v + 2], 7, 0, 0);
    }
    std::copy(lsf, lsf + 6, e.lsf);
    add(e.start = 3, 3, 0, 0);
    add(e.stateFirst = 1, 1, 0, 0);
    add(e.scale = 41, 6, 0, 0);
    for (int i = 0; i < 58; ++i)
        add(e.state[i] = (i + 1) % 8, 0, 1, 2);
    const int shortCb[3] = {100, 17, 90};
    const int shortGain[3] = {20, 9, 5};
    add(shortCb[0], 4, 2, 1);
    add(shortCb[1], 0, 0, 7);
    add(shortCb[2], 0, 0, 7);
    add(shortGain[0], 1, 1, 3);
    add(shortGain[1], 1, 1, 2);
    add(shortGain[2], 0, 0, 3);
    // The first 40-sample target's later stages carry 7-bit fields: 50 stands for the
    // codebook index 114 and 120 for 248.
    add(200, 6, 1, 1);
    add(50, 0, 0, 7);
    add(120, 0, 0, 7);
    const int cb[3][3] = {{77, 143, 250}, {12, 55, 199}, {230, 3, 128}};
    for (const auto& t : cb) {
        add(t[0], 0, 7, 1);
        add(t[1], 0, 0, 8);
        add(t[2], 0, 0, 8);
    }
    const int gains[4][3] = {{25, 11, 6}, {18, 4, 1}, {30, 14, 7}, {7, 8, 2}};
    const Field gainSplit[4][3] = {{{0, 1, 2, 2}, {0, 1, 2, 1}, {0, 0, 0, 3}},
                                   {{0, 0, 2, 3}, {0, 0, 2, 2}, {0, 0, 0, 3}},
                                   {{0, 0, 1, 4}, {0, 0, 1, 3}, {0, 0, 0, 3}},
                                   {{0, 0, 1, 4}, {0, 0, 1, 3}, {0, 0, 0, 3}}};
    for (int t = 0; t < 4; ++t)
        for (int s = 0; s < 3; ++s)
            add(gains[t][s], gainSplit[t][s].c1, gainSplit[t][s].c2, gainSplit[t][s].c3);
    add(e.empty = 0, 0, 0, 1);

    for (int s = 0; s < 3; ++s) {
        e.cb[0][s] = shortCb[s];
        e.gain[0][s] = shortGain[s];
    }
    e.cb[1][0] = 200;
    e.cb[1][1] = 114;
    e.cb[1][2] = 248;
    for (int t = 0; t < 3; ++t)
        for (int s = 0; s < 3; ++s)
            e.cb[t + 2][s] = cb[t][s];
    for (int t = 0; t < 4; ++t)
        for (int s = 0; s < 3; ++s)
            e.gain[t + 1][s] = gains[t][s];
    return h;
}

// 20 ms: one LSF vector, 57 state samples, two 40-sample targets.
HandFrame frame20()
{
    HandFrame h{20, {}, {}};
    FrameIndices& e = h.expected;
    auto add = [&](int value, int c1, int c2, int c3) { h.fields.push_back({value, c1, c2, c3}); };
    add(e.lsf[0] = 51, 6, 0, 0);
    add(e.lsf[1] = 9, 7, 0, 0);
    add(e.lsf[2] = 127, 7, 0, 0);
    add(e.start = 2, 2, 0, 0);
    add(e.stateFirst = 0, 1, 0, 0);
    add(e.scale = 38, 6, 0, 0);
    for (int i = 0; i < 57; ++i)
        add(e.state[i] = (i * 3 + 1) % 8, 0, 1, 2);
    add(e.cb[0][0] = 77, 6, 0, 1);
    add(e.cb[0][1] = 125, 0, 0, 7);
    add(e.cb[0][2] = 3, 0, 0, 7);
    add(e.gain[0][0] = 29, 2, 0, 3);
    add(e.gain[0][1] = 12, 1, 1, 2);
    add(e.gain[0][2] = 6, 0, 0, 3);
    add(e.cb[1][0] = 131, 7, 0, 1);
    add(43, 0, 0, 7);    // index 43 itself
    add(107, 0, 0, 7);   // index 171
    e.cb[1][1] = 43;
    e.cb[1][2] = 171;
    add(e.cb[2][0] = 66, 0, 0, 8);
    add(e.cb[2][1] = 240, 0, 0, 8);
    add(e.cb[2][2] = 129, 0, 0, 8);
    add(e.gain[1][0] = 21, 1, 2, 2);
    add(e.gain[1][1] = 10, 1, 1, 2);
    add(e.gain[1][2] = 1, 0, 0, 3);
    add(e.gain[2][0] = 14, 1, 1, 3);
    add(e.gain[2][1] = 5, 0, 2, 2);
    add(e.gain[2][2] = 4, 0, 0, 3);
    add(e.empty = 0, 0, 0, 1);
    return h;
}

TEST(IlbcBitstream, FieldsAreReadAndWrittenWhereTheAllocationTablePutsThem)
{
    for (const HandFrame& h : {frame20(), frame30()}) {
        SCOPED_TRACE(h.ms);
        const Mode mode = Mode::of(h.ms);
        const std::vector<uint8_t> bytes = assemble(h.fields, mode.bytes);

        FrameIndices got;
        unpackFrame(mode, bytes.data(), got);
        const FrameIndices& e = h.expected;
        EXPECT_TRUE(std::equal(e.lsf, e.lsf + 3 * mode.lpcSets, got.lsf));
        EXPECT_EQ(e.start, got.start);
        EXPECT_EQ(e.stateFirst, got.stateFirst);
        EXPECT_EQ(e.scale, got.scale);
        EXPECT_TRUE(std::equal(e.state, e.state + mode.stateShort, got.state));
        for (int t = 0; t <= mode.codedSubBlocks; ++t) {
            for (int s = 0; s < kStages; ++s) {
                EXPECT_EQ(e.cb[t][s], got.cb[t][s]) << "target " << t << " stage " << s;
                EXPECT_EQ(e.gain[t][s], got.gain[t][s]) << "target " << t << " stage " << s;
            }
        }
        EXPECT_EQ(0, got.empty);

        std::vector<uint8_t> packed(mode.bytes);
        packFrame(mode, e, packed.data());
        EXPECT_EQ(bytes, packed);
    }
}

TEST(IlbcBitstream, LibavcodecDecodesAHandAssembledFrameAsWeDo)
{
    for (const HandFrame& h : {frame20(), frame30()}) {
        SCOPED_TRACE(h.ms);
        const Mode mode = Mode::of(h.ms);
        const std::vector<uint8_t> bytes = assemble(h.fields, mode.bytes);
        // libavcodec's first frame of a fresh decoder is a burst whatever it is given: the
        // frame is sent five times and the last two compared.
        testing::AvIlbcDecoder av(mode.bytes);
        Decoder ours(h.ms, false);
        std::vector<float> theirs, mine, block(mode.blockLength);
        for (int i = 0; i < 5; ++i) {
            av.decode(bytes.data(), theirs);
            ours.decode(bytes.data(), block.data());
            mine.insert(mine.end(), block.begin(), block.end());
        }
        ASSERT_EQ(theirs.size(), mine.size());
        const size_t from = 3 * mode.blockLength;
        const std::vector<float> a(theirs.begin() + from, theirs.end()), b(mine.begin() + from, mine.end());
        double energy = 0.0;
        for (float v : b)
            energy += v * v;
        EXPECT_GT(energy / b.size(), 100.0 * 100.0);
        // Fixed-point and floating-point decoding of the same indices differ by some tens
        // of dB below the signal; a field read from the wrong bits changes the frame.
        EXPECT_GT(testing::snr(a, b), 25.0);
    }
}

}  // namespace
}  // namespace orvane::ilbc
