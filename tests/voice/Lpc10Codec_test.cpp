#include "voice/Lpc10Codec.h"

#include "tests/voice/SoundSignals.h"

#include <spandsp.h>

#include <gtest/gtest.h>

#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// spandsp decoding the 54 bits as it packs them itself (most significant bit first).
std::vector<int16_t> decodedBySpandsp(const std::vector<uint8_t>& msbFirst)
{
    lpc10_decode_state_t* s = lpc10_decode_init(nullptr, 0);
    std::vector<int16_t> out(180);
    lpc10_decode(s, out.data(), msbFirst.data(), 7);
    lpc10_decode_free(s);
    return out;
}

std::vector<int16_t> decodedByCodec(const std::vector<uint8_t>& lsbFirst)
{
    Lpc10Codec codec;
    SampleArray out;
    EXPECT_EQ(codec.decode16(lsbFirst.data(), 7, out, false), 180);
    return std::vector<int16_t>(out.begin(), out.end());
}

} // namespace

TEST(Lpc10Codec, FrameBitsArePackedLeastSignificantBitFirst)
{
    // Bit 0 of the frame: bit 0 of byte 0 here, bit 7 of byte 0 in spandsp's packing.
    // Bit 53: bit 5 of byte 6 here, bit 2 of byte 6 there. Bit 9: bit 1 of byte 1 here.
    struct Case {
        std::vector<uint8_t> ours, spandsps;
    };
    const Case cases[] = {
        {{0x01, 0, 0, 0, 0, 0, 0}, {0x80, 0, 0, 0, 0, 0, 0}},
        {{0, 0, 0, 0, 0, 0, 0x20}, {0, 0, 0, 0, 0, 0, 0x04}},
        {{0, 0x02, 0, 0, 0, 0, 0}, {0, 0x40, 0, 0, 0, 0, 0}},
        {{0x5A, 0x0F, 0x33, 0x81, 0xC0, 0x01, 0x3F}, {0x5A, 0xF0, 0xCC, 0x81, 0x03, 0x80, 0xFC}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodedByCodec(c.ours), decodedBySpandsp(c.spandsps));
}

TEST(Lpc10Codec, ATonesFramesAreSpandspsBitsMirroredAndDecodeToSound)
{
    Lpc10Codec codec;
    lpc10_encode_state_t* reference = lpc10_encode_init(nullptr, 0);
    const size_t frames = 20;
    const std::vector<int16_t> tone = voiceLikeTone(frames * 180, 150.0, 12000.0);
    std::vector<int16_t> decoded;
    for (size_t f = 0; f < frames; ++f) {
        ByteArray coded;
        ASSERT_EQ(codec.encode16(tone.data() + f * 180, 180, coded, false), 7);
        ASSERT_EQ(coded.count(), 7);
        EXPECT_EQ(coded[6] & 0xC0, 0) << "the last byte holds bits 48 to 53 only";
        uint8_t theirs[7];
        ASSERT_EQ(lpc10_encode(reference, theirs, tone.data() + f * 180, 180), 7);
        for (int i = 0; i < 7; ++i) {
            uint8_t mirrored = 0;
            for (int b = 0; b < 8; ++b)
                if (theirs[i] & (1 << b))
                    mirrored = static_cast<uint8_t>(mirrored | (0x80 >> b));
            EXPECT_EQ(coded[i], mirrored) << "frame " << f << " byte " << i;
        }
        SampleArray out;
        ASSERT_EQ(codec.decode16(coded.data(), 7, out, false), 180);
        decoded.insert(decoded.end(), out.begin(), out.end());
    }
    lpc10_encode_free(reference);
    // A vocoder keeps the loudness, not the wave.
    const size_t settled = 5 * 180;
    const double in = rms(tone.data() + settled, tone.size() - settled);
    const double out = rms(decoded.data() + settled, decoded.size() - settled);
    EXPECT_GT(out, in / 10);
    EXPECT_LT(out, in * 10);
}

TEST(Lpc10Codec, OnlyWholeFramesAreCodedOrDecoded)
{
    Lpc10Codec codec;
    const std::vector<int16_t> tone = voiceLikeTone(179);
    ByteArray coded;
    EXPECT_EQ(codec.encode16(tone.data(), 179, coded, false), 0);
    for (int size : {0, 6, 8, 14}) {
        std::vector<uint8_t> frame(static_cast<size_t>(size), 0x55);
        SampleArray out;
        EXPECT_EQ(codec.decode16(frame.data(), size, out, false), 0) << size;
        EXPECT_EQ(out.count(), 0);
    }
}
