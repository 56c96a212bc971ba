#include "voice/VoiceMode.h"

#include "voice/DeltaCodec.h"
#include "voice/GsmCodec.h"
#include "voice/Lpc10Codec.h"
#include "voice/MuLawCodec.h"
#include "voice/VoiceLevels.h"

#include <gtest/gtest.h>


using namespace orvane;

TEST(VoiceMode, EachModeByteNamesItsCodecRateWidthAndFrame)
{
    using C = VoiceMode::Codec;
    struct Case {
        int mode;
        C codec;
        int rate;
        int bits;
        int samples;
    };
    const Case cases[] = {
        {0, C::None, 8000, 8, 1000},         // raw 8-bit PCM
        {132, C::Ilbc30, 8000, 16, 240},     // 1000 0100: the program's mode
        {131, C::Ilbc20, 8000, 16, 160},
        {0x81, C::Delta, 8000, 16, 800},
        {0x22, C::Gsm, 11025, 8, 160},       // rate bits 01
        {0xC5, C::MuLaw, 22050, 16, 800},    // rate bits 10
        {0x66, C::Lpc10, 44100, 8, 180},     // rate bits 11
        {0x80, C::None, 8000, 16, 1000},
        {7, C::Unknown, 8000, 8, 0},         // no codec, the frame size kept
        {0x9F, C::Unknown, 8000, 16, 0},
        {0xFF, C::Unknown, 44100, 16, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const VoiceMode m = VoiceMode::parse(static_cast<uint8_t>(c.mode));
        EXPECT_EQ(m.codec, c.codec);
        EXPECT_EQ(m.sampleRate, c.rate);
        EXPECT_EQ(m.bitsPerSample, c.bits);
        EXPECT_EQ(m.samplesPerFrame, c.samples);
    }
}

TEST(VoiceMode, MakesTheCodecOfItsMode)
{
    EXPECT_EQ(VoiceMode::parse(0).createCodec(), nullptr);
    EXPECT_EQ(VoiceMode::parse(7).createCodec(), nullptr);
    EXPECT_EQ(VoiceMode::parse(0x80).createCodec(), nullptr);
    const auto delta = VoiceMode::parse(1).createCodec();
    const auto gsm = VoiceMode::parse(2).createCodec();
    const auto mulaw = VoiceMode::parse(5).createCodec();
    const auto lpc = VoiceMode::parse(6).createCodec();
    ASSERT_TRUE(delta && gsm && mulaw && lpc);
    EXPECT_NE(dynamic_cast<DeltaCodec*>(delta.get()), nullptr);
    EXPECT_NE(dynamic_cast<GsmCodec*>(gsm.get()), nullptr);
    EXPECT_NE(dynamic_cast<MuLawCodec*>(mulaw.get()), nullptr);
    EXPECT_NE(dynamic_cast<Lpc10Codec*>(lpc.get()), nullptr);
    EXPECT_EQ(gsm->frameSamples(), 160);
    EXPECT_EQ(gsm->frameBytes(), 33);
    EXPECT_EQ(lpc->frameSamples(), 180);
    EXPECT_EQ(lpc->frameBytes(), 7);
}

TEST(VoiceLevels, PeaksInPercentOfFullScale)
{
    const int16_t negative[] = {-1, -32768, -200};
    EXPECT_EQ(level16(negative, 3), 0);
    const int16_t half[] = {-32000, 16383, 100};
    EXPECT_EQ(level16(half, 3), 49);
    const int16_t full[] = {32767};
    EXPECT_EQ(level16(full, 1), 100);
    EXPECT_EQ(level16(full, 0), 0);

    const uint8_t silence[] = {128, 128, 128};
    EXPECT_EQ(level8(silence, 3), 0);
    const uint8_t bottom[] = {0, 0};
    EXPECT_EQ(level8(bottom, 2), -100);
    const uint8_t top[] = {0, 255};
    EXPECT_EQ(level8(top, 2), 100);
    EXPECT_EQ(level8(top, 0), -100);
}
