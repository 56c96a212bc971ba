#include "voice/DeltaCodec.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvane;

namespace {

std::vector<uint8_t> encode(const std::vector<uint8_t>& samples)
{
    DeltaCodec codec;
    ByteArray out;
    const int n = codec.encode8(samples.data(), static_cast<int>(samples.size()), out, false);
    EXPECT_EQ(n, out.count());
    return std::vector<uint8_t>(out.begin(), out.end());
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& bytes)
{
    DeltaCodec codec;
    ByteArray out;
    const int n = codec.decode8(bytes.data(), static_cast<int>(bytes.size()), out, false);
    EXPECT_EQ(n, out.count());
    return std::vector<uint8_t>(out.begin(), out.end());
}

} // namespace

TEST(DeltaCodec, CodesDifferencesInUnaryFromAStartOf128)
{
    // 128: 1; 130: 0 0 1 0; 129: 0 1 1. Bits 1,0,0,1,0,0,1,1 from bit 0 up: 0xC9.
    EXPECT_EQ(encode({128, 130, 129}), (std::vector<uint8_t>{0xC9}));
    EXPECT_EQ(decode({0xC9}), (std::vector<uint8_t>{128, 130, 129}));
    // The first sample is coded against 128: 127 is 0 1 1, padded with five 0 bits.
    EXPECT_EQ(encode({127}), (std::vector<uint8_t>{0x06}));
    EXPECT_EQ(decode({0x06}), (std::vector<uint8_t>{127}));
    // 0 is 128 steps down: 128 zero bits (16 bytes), then 1 and the sign 1.
    std::vector<uint8_t> down(16, 0x00);
    down.push_back(0x03);
    EXPECT_EQ(encode({0}), down);
    EXPECT_EQ(decode(down), (std::vector<uint8_t>{0}));
}

TEST(DeltaCodec, ASteadySignalCostsOneBitASampleAndNothingCodesToNothing)
{
    EXPECT_EQ(encode(std::vector<uint8_t>(16, 128)), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(encode(std::vector<uint8_t>(9, 128)), (std::vector<uint8_t>{0xFF, 0x01}));
    EXPECT_TRUE(encode({}).empty());
    EXPECT_TRUE(decode({}).empty());
}

TEST(DeltaCodec, RoundTripsAnyEightBitSoundAndAppendsWhenAsked)
{
    std::vector<uint8_t> sound;
    for (int i = 0; i < 800; ++i)
        sound.push_back(static_cast<uint8_t>((i * 37 + (i * i) % 11) & 0xFF));
    sound.push_back(255);
    sound.push_back(0);
    EXPECT_EQ(decode(encode(sound)), sound);

    DeltaCodec codec;
    ByteArray out;
    out.add(0xAA);
    const uint8_t two[] = {128, 128};
    EXPECT_EQ(codec.encode8(two, 2, out, true), 1);
    EXPECT_EQ(out.count(), 2);
    EXPECT_EQ(out[0], 0xAA);
    EXPECT_EQ(out[1], 0x03);
}

TEST(DeltaCodec, HostileInputDecodesWithinItsBits)
{
    // All zero bits: one run that never ends, so no sample at all.
    EXPECT_TRUE(decode(std::vector<uint8_t>(1000, 0x00)).empty());
    // All one bits: a sample per bit, no more.
    EXPECT_EQ(decode(std::vector<uint8_t>(3, 0xFF)), std::vector<uint8_t>(24, 128));
    // A run whose sign bit is missing counts as a step down.
    EXPECT_EQ(decode({0x80}), (std::vector<uint8_t>{121}));
}

TEST(DeltaCodec, SixteenBitSoundKeepsItsHighByte)
{
    DeltaCodec codec;
    const int16_t samples[] = {0, 0x1234, -0x0100, 32767, -32768};
    ByteArray coded;
    codec.encode16(samples, 5, coded, false);
    SampleArray decoded;
    ASSERT_EQ(codec.decode16(coded.data(), coded.count(), decoded, false), 5);
    const int16_t expected[] = {0, 0x1200, -0x0100, 0x7F00, -32768};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(decoded[i], expected[i]) << i;
}
