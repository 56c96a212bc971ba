#include "modules/video/VideoImage.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace orvane {
namespace {

using testing::bytesOfHex;
using testing::hexOf;

constexpr uint32_t kColour = 0xFFFFFF;

void putLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A packed capture bitmap: the 40-byte header field by field, then the rows as written.
std::vector<uint8_t> captureDib(int32_t width, int32_t height, int bitCount, uint32_t compression,
                                const char* rowsHex, uint32_t headerSize = 40)
{
    std::vector<uint8_t> dib;
    putLe32(dib, headerSize);
    putLe32(dib, static_cast<uint32_t>(width));
    putLe32(dib, static_cast<uint32_t>(height));
    dib.push_back(1); // planes
    dib.push_back(0);
    dib.push_back(static_cast<uint8_t>(bitCount));
    dib.push_back(0);
    putLe32(dib, compression);
    for (int i = 0; i < 5; ++i)
        putLe32(dib, 0);
    for (uint8_t b : bytesOfHex(rowsHex))
        dib.push_back(b);
    return dib;
}

std::vector<uint32_t> colours(const VideoImage& image)
{
    std::vector<uint32_t> out(image.pixels(), image.pixels() + image.pixelCount());
    for (uint32_t& p : out)
        p &= kColour;
    return out;
}

std::vector<int32_t> listOf(const RunList& runs) { return {runs.begin(), runs.end()}; }

VideoImage filled(int width, int height, uint32_t colour)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, colour);
    VideoImage image;
    image.setPixels(pixels.data(), width, height);
    return image;
}

// Rows stored bottom first, each padded to 4 bytes (eeee marks the padding, never read).
TEST(VideoImage, ConvertsCaptureBitmapsOfEachDepthTopRowFirst)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> dib;
        int width, height;
        std::vector<uint32_t> pixels;
    } cases[] = {
        {"16 bits, 5-5-5, odd width with 2 padding bytes",
         captureDib(3, 2, 16, 0, "0000 ff7f 0080 eeee" "007c e003 1f00 eeee"), 3, 2,
         {0xFF0707, 0x07FF07, 0x0707FF, 0x070707, 0xFFFFFF, 0x070707}},
        {"24 bits, width 5: 15 bytes and 1 padding byte a row",
         captureDib(5, 2, 24, 0, "010203 040506 070809 0a0b0c 0d0e0f ee" "102030 405060 708090 a0b0c0 d0e0f0 ee"),
         5, 2, {0x302010, 0x605040, 0x908070, 0xC0B0A0, 0xF0E0D0, 0x030201, 0x060504, 0x090807, 0x0C0B0A, 0x0F0E0D}},
        {"32 bits as they stand", captureDib(2, 2, 32, 0, "11223300 44556600" "778899ff aabbcc00"), 2, 2,
         {0x998877, 0xCCBBAA, 0x332211, 0x665544}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VideoImage image;
        ASSERT_TRUE(image.setFromCaptureDib(c.dib.data(), c.dib.size()));
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
        EXPECT_EQ(colours(image), c.pixels);
    }
}

TEST(VideoImage, RefusesCaptureBitmapsItCannotReadAsRgbAndKeepsThePicture)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> dib;
        size_t cut; // bytes taken off the end
    } cases[] = {
        {"8 bits with a colour table", captureDib(4, 1, 8, 0, "00000000 00010203"), 0},
        {"YUY2 packed as 16 bits", captureDib(2, 1, 16, 0x32595559, "10801080"), 0},
        {"16-bit bit fields", captureDib(2, 1, 16, 3, "00000000"), 0},
        {"MJPG", captureDib(2, 1, 24, 0x47504A4D, "ffd8ffe0 00104a46"), 0},
        {"top-down rows (negative height)", captureDib(2, -1, 32, 0, "00000000 00000000"), 0},
        {"zero width", captureDib(0, 1, 32, 0, ""), 0},
        {"wider than any camera", captureDib(100000, 1, 32, 0, ""), 0},
        {"last row cut by one byte", captureDib(5, 2, 24, 0, "0102030405060708090a0b0c0d0e0fee" "102030405060708090a0b0c0d0e0f0ee"), 1},
        {"header size beyond the bytes", captureDib(1, 1, 32, 0, "00000000", 2000), 0},
        {"header size below 40", captureDib(1, 1, 32, 0, "00000000", 12), 0},
        {"shorter than a header", captureDib(1, 1, 32, 0, ""), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VideoImage image = filled(2, 2, 0x123456);
        EXPECT_FALSE(image.setFromCaptureDib(c.dib.data(), c.dib.size() - c.cut));
        EXPECT_EQ(image.width(), 2);
        EXPECT_EQ(image.height(), 2);
        EXPECT_EQ(colours(image), std::vector<uint32_t>(4, 0x123456));
    }
    VideoImage image;
    EXPECT_FALSE(image.setFromCaptureDib(nullptr, 100));
}

TEST(VideoImage, KeyFramePixelsAreThreeBytesRedGreenBlueInPixelOrder)
{
    const uint32_t pixels[] = {0x102030, 0xFF405060, 0x708090, 0xA0B0C0};
    ByteArray bytes;
    bytes.write(0, "\x01\x00\x02\x00\x02", 5);
    EXPECT_EQ(VideoImage::encodeKeyFrame(pixels, 2, 2, bytes, 5), 12);
    EXPECT_EQ(hexOf(bytes), "0100020002" "102030405060708090a0b0c0");

    std::vector<uint8_t> wire = bytesOfHex("102030 405060 708090 a0b0c0 010203 040506");
    VideoImage image;
    ASSERT_TRUE(image.decodeKeyFrame(wire.data(), 18, 3, 2));
    EXPECT_EQ(image.width(), 3);
    EXPECT_EQ(image.height(), 2);
    EXPECT_EQ(colours(image),
              (std::vector<uint32_t>{0x102030, 0x405060, 0x708090, 0xA0B0C0, 0x010203, 0x040506}));
}

// The size comes from the peer: it must agree with the bytes before anything is allocated.
TEST(VideoImage, RefusesAKeyFrameWhoseSizeDisagreesWithItsBytes)
{
    std::vector<uint8_t> wire(3 * 120 * 90, 0x55);
    struct Case {
        int length, width, height;
    } cases[] = {
        {3 * 120 * 90 - 1, 120, 90}, {3 * 120 * 90, 120, 91}, {3 * 120 * 90 - 3, 120, 90},
        {3 * 120 * 90, 0, 90},        {3 * 120 * 90, -120, -90}, {3 * 120 * 90, 65535, 65535},
        {0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " in " + std::to_string(c.length));
        VideoImage image = filled(2, 1, 0xABCDEF);
        EXPECT_FALSE(image.decodeKeyFrame(wire.data(), c.length, c.width, c.height));
        EXPECT_EQ(colours(image), (std::vector<uint32_t>{0xABCDEF, 0xABCDEF}));
        EXPECT_EQ(image.width(), 2);
    }
    VideoImage image;
    EXPECT_TRUE(image.decodeKeyFrame(wire.data(), 3 * 120 * 90, 120, 90));
    EXPECT_EQ(image.pixelCount(), 120 * 90);
}

TEST(VideoImage, DeltaRunsAreStartCountAndPixelsBackToBack)
{
    RunList runs;
    for (int32_t v : {3, 2, 0x112233, 0x445566, 0x010203, 3, 0xAABBCC, 0x000000, 0xFFFFFF})
        runs.add(v);
    ByteArray bytes;
    EXPECT_EQ(VideoImage::encodeRuns(runs, bytes, 4), 25);
    EXPECT_EQ(hexOf(bytes.data() + 4, 25), "0000030002112233445566" "0102030003aabbcc000000ffffff");
    EXPECT_EQ(bytes.count(), 29);

    RunList empty;
    EXPECT_EQ(VideoImage::encodeRuns(empty, bytes), 0);

    std::vector<uint8_t> wire = bytesOfHex("000003 0002 112233 445566" "010203 0003 aabbcc 000000 ffffff");
    RunList decoded;
    ASSERT_TRUE(VideoImage::decodeRuns(wire.data(), static_cast<int>(wire.size()), decoded, 70000));
    EXPECT_EQ(listOf(decoded), listOf(runs));
}

TEST(VideoImage, RefusesDeltaRunsThatReachBeyondThePictureOrThePacket)
{
    struct Case {
        const char* name;
        const char* hex;
    } cases[] = {
        {"run header cut", "000003 00"},
        {"count 0", "000003 0000"},
        {"pixels cut", "000003 0002 112233 4455"},
        {"start behind the last pixel", "000064 0001 112233"},
        {"run past the last pixel", "000063 0002 112233 445566"},
        {"huge count", "000000 ffff 112233"},
        {"good run, then a bad one", "000000 0001 112233" "0000ff 0001 000000"},
        {"good run, then a cut one", "000000 0001 112233" "000001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> wire = bytesOfHex(c.hex);
        RunList runs;
        runs.add(7);
        EXPECT_FALSE(VideoImage::decodeRuns(wire.data(), static_cast<int>(wire.size()), runs, 100));
        EXPECT_TRUE(runs.isEmpty());
    }
    std::vector<uint8_t> lastPixels = bytesOfHex("000062 0002 112233 445566");
    RunList runs;
    EXPECT_TRUE(VideoImage::decodeRuns(lastPixels.data(), static_cast<int>(lastPixels.size()), runs, 100));
    EXPECT_EQ(listOf(runs), (std::vector<int32_t>{98, 2, 0x112233, 0x445566}));
}

TEST(VideoImage, AppliesRunsOnlyWhenEveryRunLiesInsideThePicture)
{
    VideoImage image = filled(10, 10, 0);
    const int32_t outside[] = {2, 2, 0x111111, 0x222222, 98, 3, 1, 2, 3};
    const int32_t cut[] = {2, 3, 0x111111, 0x222222};
    const int32_t negative[] = {-1, 2, 0x111111, 0x222222};
    EXPECT_FALSE(image.applyRuns(outside, 9));
    EXPECT_FALSE(image.applyRuns(cut, 4));
    EXPECT_FALSE(image.applyRuns(negative, 4));
    EXPECT_FALSE(image.applyRunsMasked(outside, 9, 0xF000));
    EXPECT_EQ(colours(image), std::vector<uint32_t>(100, 0));

    const int32_t good[] = {2, 2, 0x111111, 0x222222, 98, 2, 0x333333, 0x444444};
    ASSERT_TRUE(image.applyRuns(good, 8));
    EXPECT_EQ(image.pixels()[2], 0x111111u);
    EXPECT_EQ(image.pixels()[3], 0x222222u);
    EXPECT_EQ(image.pixels()[99], 0x444444u);
    ASSERT_TRUE(image.applyRunsMasked(good, 8, 0xF000));
    EXPECT_EQ(image.pixels()[2], 0x11F111u);
    EXPECT_EQ(image.pixels()[99], 0x44F444u);
    EXPECT_EQ(image.pixels()[4], 0u);

    VideoImage empty;
    EXPECT_FALSE(empty.applyRuns(good, 8));
}

constexpr uint32_t R = 0x404040; // the reference's colour
constexpr uint32_t C = 0x80A0C0; // a changed pixel

// Runs from a 10 by 10 reference of colour R against a current frame with C at the indexes.
std::vector<int32_t> runsFor(std::initializer_list<std::pair<int, int>> changedRanges)
{
    VideoImage reference = filled(10, 10, R);
    VideoImage current = filled(10, 10, R);
    for (auto [from, to] : changedRanges)
        for (int i = from; i <= to; ++i)
            current.pixels()[i] = C;
    RunList runs;
    VideoImage::diffFrames(reference, current, runs);
    return listOf(runs);
}

TEST(VideoImage, ChangeRunsEndWithTheFirstUnchangedPixelAndMergeWhenNear)
{
    using V = std::vector<int32_t>;
    EXPECT_EQ(runsFor({}), V{});
    EXPECT_EQ(runsFor({{50, 50}}), (V{50, 2, C, R}));
    EXPECT_EQ(runsFor({{98, 99}}), (V{98, 2, C, C}));
    // 0-9 ends at 11; 12 - 11 < 3: one run 0 to 21.
    EXPECT_EQ(runsFor({{0, 9}, {12, 20}}),
              (V{0, 22, C, C, C, C, C, C, C, C, C, C, R, R, C, C, C, C, C, C, C, C, C, R}));
    // 14 - 11 = 3: two runs.
    EXPECT_EQ(runsFor({{0, 9}, {14, 20}}),
              (V{0, 11, C, C, C, C, C, C, C, C, C, C, R, 14, 8, C, C, C, C, C, C, C, R}));
    // Merging chains.
    EXPECT_EQ(runsFor({{0, 1}, {4, 5}, {8, 9}}), (V{0, 11, C, C, R, R, C, C, R, R, C, C, R}));
}

TEST(VideoImage, ALoneChangedLastPixelIsSentWithItsNeighbour)
{
    EXPECT_EQ(runsFor({{99, 99}}), (std::vector<int32_t>{98, 2, R, C}));
    EXPECT_EQ(runsFor({{50, 50}, {99, 99}}), (std::vector<int32_t>{50, 2, C, R, 98, 2, R, C}));

    VideoImage reference = filled(1, 1, R);
    VideoImage current = filled(1, 1, C);
    RunList runs;
    VideoImage::diffFrames(reference, current, runs);
    EXPECT_EQ(listOf(runs), (std::vector<int32_t>{0, 1, C}));
}

TEST(VideoImage, APixelChangesWhenOneColourByteMovesByMoreThanSeven)
{
    struct Case {
        uint32_t pixel;
        bool changed;
    } cases[] = {
        {0x474747, false}, {0x393939, false}, {0xFF404040, false},
        {0x484040, true},  {0x404840, true},  {0x404038, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixel);
        VideoImage reference = filled(4, 1, R);
        VideoImage current = filled(4, 1, R);
        current.pixels()[1] = c.pixel;
        RunList runs;
        VideoImage::diffFrames(reference, current, runs);
        EXPECT_EQ(runs.count(), c.changed ? 4 : 0);
        // An unchanged pixel takes the reference's value, so that both sides stay equal.
        if (!c.changed) {
            EXPECT_EQ(current.pixels()[1], R);
        }
    }
}

TEST(VideoImage, RunsOfAWhollyChangedPictureStopAt65534Pixels)
{
    VideoImage reference = filled(300, 300, R);
    VideoImage current = filled(300, 300, C);
    RunList runs;
    VideoImage::diffFrames(reference, current, runs);
    ASSERT_EQ(runs.count(), 2 + 65534 + 2 + 24466);
    EXPECT_EQ(runs[0], 0);
    EXPECT_EQ(runs[1], 65534);
    EXPECT_EQ(runs[2 + 65534], 65534);
    EXPECT_EQ(runs[3 + 65534], 24466);
}

// A sender's frames through diff, encode, decode and apply: the receiver holds exactly what
// the sender's reference holds, and that stays within the threshold of the camera picture.
TEST(VideoImage, DecodingRebuildsTheSendersPictureExactly)
{
    const int w = 120, h = 90;
    VideoImage reference, received;
    RunList sendRuns, receivedRuns;
    ByteArray bytes;
    unsigned seed = 7;
    for (int frame = 0; frame < 25; ++frame) {
        SCOPED_TRACE(frame);
        std::vector<uint32_t> camera(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                seed = seed * 1103515245 + 12345;
                int noise = static_cast<int>((seed >> 16) % 11) - 5; // camera noise below the threshold
                bool square = x >= frame * 3 && x < frame * 3 + 20 && y >= 30 && y < 50;
                int base = square ? 200 : 60 + (x + y) % 40;
                int v = base + noise;
                camera[static_cast<size_t>(y) * w + x] = (v << 16) | ((255 - v) << 8) | (v / 2);
            }
        VideoImage current;
        current.setPixels(camera.data(), w, h);
        if (frame == 0) {
            reference = current;
            int n = VideoImage::encodeKeyFrame(current.pixels(), w, h, bytes);
            ASSERT_TRUE(received.decodeKeyFrame(bytes.data(), n, w, h));
        } else {
            VideoImage::diffFrames(reference, current, sendRuns);
            ASSERT_TRUE(reference.applyRuns(sendRuns));
            int n = VideoImage::encodeRuns(sendRuns, bytes);
            ASSERT_TRUE(VideoImage::decodeRuns(bytes.data(), n, receivedRuns, received.pixelCount()));
            ASSERT_TRUE(received.applyRuns(receivedRuns));
        }
        ASSERT_EQ(colours(received), colours(reference));
        ASSERT_EQ(colours(received), colours(current));
        for (int i = 0; i < w * h; ++i)
            for (int shift : {0, 8, 16})
                ASSERT_LE(std::abs(static_cast<int>((camera[i] >> shift) & 0xFF)
                                   - static_cast<int>((received.pixels()[i] >> shift) & 0xFF)),
                          VideoImage::DiffThreshold);
    }
}

// 160 by 120 to 120 by 90 with red = source column and green = source row: source columns
// 0 | 1 2 | 3 | 4 | 5 6 make destination columns 0 to 4, source rows 0 1 | 2 | 3 | 4 5 rows 0 to 3.
TEST(VideoImage, ShrinkAveragesTheSourcePixelsOfEachDestinationPixel)
{
    std::vector<uint32_t> source(160 * 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            source[y * 160 + x] = (x << 16) | (y << 8);
    std::vector<uint32_t> out(120 * 90, 0xDEADBEEF);
    VideoImage::scaleImage(source.data(), 160, 120, out.data(), 120, 90);
    const int reds[] = {0, 1, 3, 4, 5};
    const int greens[] = {0, 2, 3, 4};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ((out[k] >> 16) & 0xFF, static_cast<uint32_t>(reds[k])) << "column " << k;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((out[i * 120] >> 8) & 0xFF, static_cast<uint32_t>(greens[i])) << "row " << i;
    // Every destination row comes from later source rows than the one above, to the last.
    for (int i = 1; i < 90; ++i)
        ASSERT_GT((out[i * 120] >> 8) & 0xFF, (out[(i - 1) * 120] >> 8) & 0xFF) << "row " << i;
    EXPECT_GE((out[89 * 120] >> 8) & 0xFF, 118u);
    EXPECT_EQ((out[119] >> 16) & 0xFF, 159u);
}

TEST(VideoImage, EveryDestinationPixelIsFilledWhateverTheSourceSize)
{
    struct Case {
        int sw, sh;
    } cases[] = {{160, 120}, {176, 144}, {320, 240}, {352, 288}, {640, 480}, {120, 90},
                 {130, 400}, {200, 50},  {4, 400},   {10, 90},   {60, 45},   {1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh));
        std::vector<uint32_t> source(static_cast<size_t>(c.sw) * c.sh, 0x102030);
        std::vector<uint32_t> out(120 * 90, 0);
        VideoImage::scaleImage(source.data(), c.sw, c.sh, out.data(), 120, 90);
        EXPECT_EQ(out, std::vector<uint32_t>(120 * 90, 0x102030));
    }
}

// A source narrower than the destination (and taller) would let the column run past the
// row's end into the next row: each destination row must hold pixels of one source row.
TEST(VideoImage, StretchNeverReadsOutsideTheSourceRow)
{
    for (int sw : {1, 4, 40}) {
        SCOPED_TRACE(sw);
        const int sh = 400;
        std::vector<uint32_t> source(static_cast<size_t>(sw) * sh);
        for (int y = 0; y < sh; ++y)
            for (int x = 0; x < sw; ++x)
                source[static_cast<size_t>(y) * sw + x] = static_cast<uint32_t>(y << 8 | x);
        std::vector<uint32_t> out(120 * 90);
        VideoImage::scaleImage(source.data(), sw, sh, out.data(), 120, 90);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x)
                ASSERT_EQ(out[y * 120 + x] >> 8, out[y * 120] >> 8) << x << "," << y;
    }
}

TEST(VideoImage, ResizeTakesTheNewSizeAndIgnoresNegativeOnes)
{
    VideoImage image = filled(320, 240, 0x336699);
    image.resizeImage(-120, -90);
    EXPECT_EQ(image.width(), 320);
    image.resizeImage(120, 90);
    EXPECT_EQ(image.width(), 120);
    EXPECT_EQ(image.height(), 90);
    EXPECT_EQ(colours(image), std::vector<uint32_t>(120 * 90, 0x336699));
    image.resizeImage(120, 90);
    EXPECT_EQ(colours(image), std::vector<uint32_t>(120 * 90, 0x336699));

    VideoImage empty;
    empty.resizeImage(120, 90);
    EXPECT_TRUE(empty.isEmpty());
}

TEST(VideoImage, CornerBracketsOfA120By90PictureLieOnRows9And81AndColumns12And108)
{
    VideoImage image = filled(120, 90, 0);
    VideoImage::drawCornerBrackets(image);
    auto at = [&](int x, int y) { return image.pixels()[y * 120 + x]; };
    int yellow = 0;
    for (uint32_t p : colours(image))
        yellow += p == 0xE5E500;
    EXPECT_EQ(yellow, 4 * 13 + 4 * 10 - 4);
    for (int y : {9, 81}) {
        EXPECT_EQ(at(12, y), 0xE5E500u);
        EXPECT_EQ(at(24, y), 0xE5E500u);
        EXPECT_EQ(at(25, y), 0u);
        EXPECT_EQ(at(96, y), 0xE5E500u);
        EXPECT_EQ(at(108, y), 0xE5E500u);
        EXPECT_EQ(at(95, y), 0u);
    }
    for (int x : {12, 108}) {
        EXPECT_EQ(at(x, 18), 0xE5E500u);
        EXPECT_EQ(at(x, 19), 0u);
        EXPECT_EQ(at(x, 72), 0xE5E500u);
        EXPECT_EQ(at(x, 71), 0u);
    }
}

TEST(VideoImage, LinesAreClippedToThePicture)
{
    VideoImage image = filled(4, 3, 0);
    VideoImage::drawHorizontalLine(image.pixels(), 4, 3, 9, -5, 1, 1);
    VideoImage::drawHorizontalLine(image.pixels(), 4, 3, 0, 3, 3, 2);
    VideoImage::drawVerticalLine(image.pixels(), 4, 3, 5, -2, 3, 3);
    VideoImage::drawVerticalLine(image.pixels(), 4, 3, 0, 2, 4, 4);
    EXPECT_EQ(colours(image), (std::vector<uint32_t>{0, 0, 0, 3, 1, 1, 1, 3, 0, 0, 0, 3}));
}

TEST(VideoImage, FlipReversesTheRowsAndCopiesKeepSizeAndPixels)
{
    uint32_t pixels[] = {1, 2, 3, 4, 5, 6};
    VideoImage::flipVertical(pixels, 2, 3);
    EXPECT_EQ(std::vector<uint32_t>(pixels, pixels + 6), (std::vector<uint32_t>{5, 6, 3, 4, 1, 2}));

    VideoImage image;
    image.setPixels(pixels, 3, 2);
    VideoImage copy;
    copy.copy(&image);
    copy.copy(nullptr);
    EXPECT_EQ(copy.width(), 3);
    EXPECT_EQ(colours(copy), colours(image));

    const uint8_t rgb[] = {0x10, 0x20, 0x30, 0xA0, 0xB0, 0xC0};
    EXPECT_TRUE(image.loadFromBitmap(rgb, 2, 1));
    EXPECT_EQ(colours(image), (std::vector<uint32_t>{0x102030, 0xA0B0C0}));
    EXPECT_FALSE(image.loadFromBitmap(nullptr, 2, 1));
    EXPECT_TRUE(image.isEmpty());
}

} // namespace
} // namespace orvane
