#include "voice/IlbcCodec.h"
#include "voice/VoiceMode.h"

#include "tests/voice/SoundSignals.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

TEST(VoiceIlbc, ModesThreeAndFourAreTheTwentyAndThirtyMillisecondFrames)
{
    struct Case {
        uint8_t mode;
        int ms, samples, bytes;
    };
    for (const Case& c : {Case{132, 30, 240, 50}, Case{131, 20, 160, 38}}) {
        SCOPED_TRACE(int(c.mode));
        const auto codec = VoiceMode::parse(c.mode).createCodec();
        auto* ilbc = dynamic_cast<IlbcCodec*>(codec.get());
        ASSERT_NE(ilbc, nullptr);
        EXPECT_EQ(ilbc->frameMode(), c.ms);
        EXPECT_EQ(ilbc->frameSamples(), c.samples);
        EXPECT_EQ(ilbc->frameBytes(), c.bytes);
    }
}

TEST(VoiceIlbc, ThirtyMillisecondFramesCodeOneFrameWhateverTheCount)
{
    IlbcCodec codec;
    codec.setFrameMode(30);
    const size_t frames = 20;
    const std::vector<int16_t> tone = voiceLikeTone(frames * 240 + 100);
    std::vector<int16_t> decoded;
    for (size_t f = 0; f < frames; ++f) {
        ByteArray coded;
        ASSERT_EQ(codec.encode16(tone.data() + f * 240, f % 2 ? 240 : 340, coded, false), 50);
        ASSERT_EQ(coded.count(), 50);
        SampleArray out;
        ASSERT_EQ(codec.decode16(coded.data(), 50, out, false), 240);
        decoded.insert(decoded.end(), out.begin(), out.end());
    }
    const std::vector<int16_t> settledIn(tone.begin() + 960, tone.begin() + frames * 240);
    const std::vector<int16_t> settledOut(decoded.begin() + 960, decoded.end());
    EXPECT_GT(bestCorrelation(settledIn, settledOut, settledIn.size() - 100, 100), 0.8);
}

TEST(VoiceIlbc, OnlyWholeFramesAreCodedOrDecoded)
{
    IlbcCodec codec;
    codec.setFrameMode(20);
    const std::vector<int16_t> shortTone = voiceLikeTone(159);
    std::unique_ptr<int16_t[]> heap(new int16_t[159]);
    std::copy(shortTone.begin(), shortTone.end(), heap.get());
    ByteArray coded;
    EXPECT_EQ(codec.encode16(heap.get(), 159, coded, false), 0);
    EXPECT_EQ(coded.count(), 0);
    for (int size : {1, 37, 39, 50}) {
        std::unique_ptr<uint8_t[]> frame(new uint8_t[static_cast<size_t>(size)]());
        SampleArray out;
        EXPECT_EQ(codec.decode16(frame.get(), size, out, false), 0) << size;
        EXPECT_EQ(out.count(), 0);
    }
    const std::vector<int16_t> tone = voiceLikeTone(160);
    ASSERT_EQ(codec.encode16(tone.data(), 160, coded, false), 38);
    SampleArray out;
    EXPECT_EQ(codec.decode16(coded.data(), 38, out, false), 160);
}
