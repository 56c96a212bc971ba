// The video packets, built and read against bytes written by hand.

#include "modules/video/VideoPacket.h"
#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

using testing::bytesOfHex;
using testing::hexOf;


VideoPacket::Verdict parse(VideoPacket& packet, const std::vector<uint8_t>& bytes, int pictureSize = 0)
{
    return packet.parse(bytes.data(), static_cast<int>(bytes.size()), pictureSize);
}

TEST(VideoPacket, SignalPacketsCarryTheMakerWordAfterTheirType)
{
    ByteArray packet;
    VideoPacket::writeFrameRequest(packet);
    EXPECT_EQ(hexOf(packet), "00546176656c6f72");
    VideoPacket::writeNoFrame(packet);
    EXPECT_EQ(hexOf(packet), "03546176656c6f72");
}

TEST(VideoPacket, FrameHeadersGoInFrontOfTheBodyWithBigEndianSizes)
{
    ByteArray packet;
    const uint8_t pixels[6] = {0xff, 0x00, 0x01, 0x10, 0x20, 0x30};
    packet.write(VideoPacket::KeyFrameHeaderSize, pixels, 6);
    VideoPacket::writeKeyFrameHeader(packet, 2, 1);
    EXPECT_EQ(hexOf(packet), "0100020001ff0001102030");
    packet.setSize(0);
    VideoPacket::writeKeyFrameHeader(packet, 0x1234, 0xabcd);
    EXPECT_EQ(hexOf(packet), "011234abcd");

    // One run: start 0x010203, two pixels.
    const uint8_t runs[11] = {0x01, 0x02, 0x03, 0x00, 0x02, 0xaa, 0xbb, 0xcc, 0x11, 0x22, 0x33};
    packet.setSize(0);
    packet.write(VideoPacket::DeltaFrameHeaderSize, runs, 11);
    VideoPacket::writeDeltaFrameHeader(packet, 11);
    EXPECT_EQ(hexOf(packet), "0200000b0102030002aabbcc112233");
    VideoPacket::writeDeltaFrameHeader(packet, 0x012345);
    EXPECT_EQ(hexOf(packet.data(), 4), "02012345");
}

TEST(VideoPacket, ReadsEachKnownTypeAndSkipsOthers)
{
    VideoPacket packet;
    // Only byte 0 of a signal packet counts.
    EXPECT_EQ(parse(packet, bytesOfHex("00546176656c6f72")), VideoPacket::Verdict::Valid);
    EXPECT_EQ(packet.type(), VideoPacket::FrameRequest);
    EXPECT_EQ(parse(packet, bytesOfHex("03")), VideoPacket::Verdict::Valid);
    EXPECT_EQ(packet.type(), VideoPacket::NoFrame);

    const std::vector<uint8_t> key = bytesOfHex("0100020001ff0001102030");
    ASSERT_EQ(parse(packet, key), VideoPacket::Verdict::Valid);
    EXPECT_EQ(packet.type(), VideoPacket::KeyFrame);
    EXPECT_EQ(packet.width(), 2);
    EXPECT_EQ(packet.height(), 1);
    EXPECT_EQ(hexOf(packet.body(), packet.bodyLength()), "ff0001102030");

    // Two runs into a picture of 8 pixels: 1..2 and 6..7.
    ASSERT_EQ(parse(packet, bytesOfHex("02000016" "0000010002aabbcc112233" "0000060002010203040506"), 8),
              VideoPacket::Verdict::Valid);
    EXPECT_EQ(packet.type(), VideoPacket::DeltaFrame);
    EXPECT_EQ(packet.runCount(), 2);
    EXPECT_EQ(packet.bodyLength(), 22);

    EXPECT_EQ(parse(packet, bytesOfHex("04")), VideoPacket::Verdict::Ignored);
    EXPECT_EQ(parse(packet, bytesOfHex("ff0000")), VideoPacket::Verdict::Ignored);
    EXPECT_EQ(packet.parse(nullptr, 0, 0), VideoPacket::Verdict::Ignored);
}

TEST(VideoPacket, RefusesFramesWhoseNumbersDoNotMatchThePacketOrThePicture)
{
    struct Case {
        const char* what;
        const char* hex;
        int pictureSize;
    } cases[] = {
        {"key frame header cut", "01000200", 0},
        {"key frame one pixel short", "0100020001ff00011020", 0},
        {"key frame one byte long", "0100020001ff000110203040", 0},
        {"key frame of width 0", "0100000001", 0},
        {"key frame of height 0", "0100010000", 0},
        {"key frame announcing 65535 x 65535", "01ffffffff000000", 0},
        {"delta header cut", "020000", 0},
        {"delta payload longer than the packet", "0200000c0000000002aabbcc112233", 0},
        {"delta payload shorter than the packet", "0200000a0000000002aabbcc112233", 0},
        {"run header cut", "02000003000000", 0},
        {"run pixels cut", "0200000a0000000002aabbcc1122", 0},
        {"run of 0 pixels", "020000050000000000", 0},
        {"run of 65535 pixels", "02000005000000ffff", 0},
        {"run starting behind the picture", "0200000b0000080002aabbcc112233", 8},
        {"run reaching behind the picture", "0200000b0000070002aabbcc112233", 8},
        {"second run reaching behind the picture", "02000016" "0000000002aabbcc112233" "00000f0002010203040506", 16},
        {"start near 2^24 against a small picture", "0200000bffffff0002aabbcc112233", 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VideoPacket packet;
        EXPECT_EQ(parse(packet, bytesOfHex(c.hex), c.pictureSize), VideoPacket::Verdict::Malformed);
    }
}

TEST(VideoPacket, ADeltaForNoPictureIsCheckedAgainstThePacketOnly)
{
    VideoPacket packet;
    // Start 0x100 lies outside any picture seen so far, but there is none: it changes nothing.
    EXPECT_EQ(parse(packet, bytesOfHex("0200000b0001000002aabbcc112233"), 0), VideoPacket::Verdict::Valid);
    EXPECT_EQ(parse(packet, bytesOfHex("0200000b0001000002aabbcc112233"), 0x101), VideoPacket::Verdict::Malformed);
    EXPECT_EQ(parse(packet, bytesOfHex("0200000b0001000002aabbcc112233"), 0x102), VideoPacket::Verdict::Valid);
    // An empty delta is a valid delta of no runs.
    EXPECT_EQ(parse(packet, bytesOfHex("02000000"), 8), VideoPacket::Verdict::Valid);
    EXPECT_EQ(packet.runCount(), 0);
}

} // namespace
} // namespace orvane
