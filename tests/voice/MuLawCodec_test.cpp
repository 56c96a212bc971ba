#include "voice/MuLawCodec.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvane;

TEST(MuLawCodec, CompressionAtTheEdgesOfItsTable)
{
    struct Case {
        int index; // the sample shifted right by three, taken as unsigned
        uint8_t code;
    };
    const Case cases[] = {
        {0, 0xFF},    {1, 0xFE},    {4090, 0x80}, {4091, 0x80}, {4092, 0x80},
        {4093, 0x80}, {4094, 0x80}, {4095, 0x80}, {4096, 0x00}, {8191, 0x7E},
    };
    for (const Case& c : cases) {
        // Every sample of the run of eight that the index stands for.
        for (int low = 0; low < 8; ++low) {
            const int16_t sample = static_cast<int16_t>(static_cast<uint16_t>(c.index * 8 + low));
            SCOPED_TRACE(sample);
            EXPECT_EQ(MuLawCodec::compress(sample), c.code);
        }
    }
    EXPECT_EQ(MuLawCodec::compress(-1), 0x7E);
    EXPECT_EQ(MuLawCodec::compress(-8), 0x7E);
    EXPECT_EQ(MuLawCodec::compress(7), 0xFF);
}

TEST(MuLawCodec, ExpansionAtTheEdgesOfItsTable)
{
    const int16_t loudest[] = {-32256, -31228, -30200, -29172, -28143, -27115, -26087, -25059};
    for (int code = 0; code < 8; ++code) {
        EXPECT_EQ(MuLawCodec::expand(static_cast<uint8_t>(code)), loudest[code]) << code;
        EXPECT_EQ(MuLawCodec::expand(static_cast<uint8_t>(code + 128)), -loudest[code]) << code + 128;
    }
    const int16_t quietest[] = {-56, -48, -40, -32, -24, -16, -8, 0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(MuLawCodec::expand(static_cast<uint8_t>(120 + i)), quietest[i]) << 120 + i;
        EXPECT_EQ(MuLawCodec::expand(static_cast<uint8_t>(248 + i)), -quietest[i]) << 248 + i;
    }
    EXPECT_EQ(MuLawCodec::compress(0), 0xFF);
    EXPECT_EQ(MuLawCodec::expand(0xFF), 0);
}

TEST(MuLawCodec, EveryCodeSurvivesExpansionAndCompression)
{
    for (int code = 0; code < 256; ++code) {
        if (code == 127)
            continue; // negative zero comes back as positive zero
        EXPECT_EQ(MuLawCodec::compress(MuLawCodec::expand(static_cast<uint8_t>(code))), code) << code;
    }
}

TEST(MuLawCodec, OneBytePerSampleInEitherWidth)
{
    MuLawCodec codec;
    const int16_t samples[] = {0, 1000, -1000, 32767, -32768};
    ByteArray coded;
    ASSERT_EQ(codec.encode16(samples, 5, coded, false), 5);
    SampleArray decoded;
    ASSERT_EQ(codec.decode16(coded.data(), 5, decoded, false), 5);
    EXPECT_EQ(decoded[0], 0);
    EXPECT_NEAR(decoded[1], 1000, 40);
    EXPECT_NEAR(decoded[2], -1000, 40);
    EXPECT_EQ(decoded[3], 32256);
    EXPECT_EQ(decoded[4], -32256);

    // 8-bit: 128 is silence, 0 the bottom, 255 near the top.
    const uint8_t bytes[] = {128, 0, 255, 160};
    ByteArray coded8;
    ASSERT_EQ(codec.encode8(bytes, 4, coded8, false), 4);
    EXPECT_EQ(coded8[0], 0xFF);
    EXPECT_EQ(coded8[1], 0x00);
    ByteArray back;
    ASSERT_EQ(codec.decode8(coded8.data(), 4, back, false), 4);
    EXPECT_EQ(back[0], 128);
    EXPECT_EQ(back[1], 2) << "-32256 narrows to -126";
    EXPECT_EQ(back[2], 254) << "32256 narrows to 126";
    EXPECT_NEAR(back[3], 160, 1);
}
