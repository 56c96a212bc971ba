#include "voice/GsmCodec.h"

#include "tests/voice/SoundSignals.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

TEST(GsmCodec, AToneComesBackThroughLibgsmInFramesOf33Bytes)
{
    GsmCodec codec;
    const size_t frames = 25;
    const std::vector<int16_t> tone = voiceLikeTone(frames * 160);
    std::vector<int16_t> decoded;
    for (size_t f = 0; f < frames; ++f) {
        ByteArray coded;
        // The count is more than a frame: only the first 160 samples are coded.
        ASSERT_EQ(codec.encode16(tone.data() + f * 160, 1000, coded, false), 33);
        ASSERT_EQ(coded.count(), 33);
        EXPECT_EQ(coded[0] >> 4, 0xD) << "every frame opens with the GSM magic";
        SampleArray out;
        ASSERT_EQ(codec.decode16(coded.data(), coded.count(), out, false), 160);
        decoded.insert(decoded.end(), out.begin(), out.end());
    }
    // After the filters have settled the sound follows the tone closely.
    EXPECT_GT(correlation(tone.data() + 800, decoded.data() + 800, tone.size() - 800), 0.9);
}

TEST(GsmCodec, EncodingIsNotDisturbedByDecodingOnTheSameCodec)
{
    // Each direction has its own filter history: the frames of a codec that also decodes
    // are those of one that only encodes.
    GsmCodec both, encodeOnly, other;
    const std::vector<int16_t> tone = voiceLikeTone(10 * 160);
    const std::vector<int16_t> noise = voiceLikeTone(160, 1234.0, 20000.0);
    ByteArray foreign;
    other.encode16(noise.data(), 160, foreign, false);
    for (size_t f = 0; f < 10; ++f) {
        ByteArray a, b;
        SampleArray ignored;
        both.decode16(foreign.data(), foreign.count(), ignored, false);
        both.encode16(tone.data() + f * 160, 160, a, false);
        encodeOnly.encode16(tone.data() + f * 160, 160, b, false);
        ASSERT_EQ(std::vector<uint8_t>(a.begin(), a.end()), std::vector<uint8_t>(b.begin(), b.end())) << f;
    }
}

TEST(GsmCodec, AFrameOfTheWrongSizeIsDroppedAndABadMagicPlaysSilence)
{
    GsmCodec codec;
    for (int size : {0, 1, 32, 34, 66}) {
        SCOPED_TRACE(size);
        // Exactly `size` bytes on the heap: a read past the end would be caught.
        std::unique_ptr<uint8_t[]> frame(new uint8_t[size > 0 ? size : 1]);
        for (int i = 0; i < size; ++i)
            frame[i] = 0xD0;
        SampleArray out;
        out.add(5);
        EXPECT_EQ(codec.decode16(frame.get(), size, out, true), 0);
        EXPECT_EQ(out.count(), 1);
    }
    uint8_t bad[33] = {0x30, 0x12, 0x34};
    SampleArray out;
    out.add(99);
    ASSERT_EQ(codec.decode16(bad, 33, out, true), 160);
    ASSERT_EQ(out.count(), 161);
    EXPECT_EQ(out[0], 99);
    for (int i = 1; i < 161; ++i)
        ASSERT_EQ(out[i], 0) << i;

    // A buffer of fewer than 160 samples codes to nothing.
    const std::vector<int16_t> shortTone = voiceLikeTone(159);
    std::unique_ptr<int16_t[]> heap(new int16_t[159]);
    std::copy(shortTone.begin(), shortTone.end(), heap.get());
    ByteArray coded;
    EXPECT_EQ(codec.encode16(heap.get(), 159, coded, false), 0);
    EXPECT_EQ(coded.count(), 0);
}

TEST(GsmCodec, EightBitSoundGoesThroughTheSameFrames)
{
    GsmCodec codec;
    const std::vector<int16_t> tone = voiceLikeTone(20 * 160);
    std::vector<uint8_t> eight(tone.size());
    for (size_t i = 0; i < tone.size(); ++i)
        eight[i] = static_cast<uint8_t>((tone[i] >> 8) + 128);
    std::vector<int16_t> back;
    for (size_t f = 0; f < 20; ++f) {
        ByteArray coded;
        ASSERT_EQ(codec.encode8(eight.data() + f * 160, 160, coded, false), 33);
        ByteArray out;
        ASSERT_EQ(codec.decode8(coded.data(), 33, out, false), 160);
        for (uint8_t v : out)
            back.push_back(static_cast<int16_t>((v - 128) * 256));
    }
    EXPECT_GT(correlation(tone.data() + 800, back.data() + 800, tone.size() - 800), 0.85);
}
