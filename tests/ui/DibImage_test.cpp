#include "tests/ui/PixelProbe.h"
#include "ui/kit/DibImage.h"

#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

} // namespace

TEST(DibImage, TheBlockHoldsHeaderPaletteAndPaddedRows)
{
    DibImage image;
    ASSERT_TRUE(image.Create(3, 2, 8));
    EXPECT_EQ(image.stride(), 4);
    const std::vector<uint8_t>& b = image.block();
    ASSERT_EQ(b.size(), 40u + 256 * 4 + 8);
    EXPECT_EQ(le32(b, 0), 40u);
    EXPECT_EQ(le32(b, 4), 3u);
    EXPECT_EQ(le32(b, 8), 2u);
    EXPECT_EQ(b[12] | b[13] << 8, 1);  // planes
    EXPECT_EQ(b[14] | b[15] << 8, 8);  // bits a pixel
    EXPECT_EQ(le32(b, 16), 0u);        // no compression
    EXPECT_EQ(le32(b, 20), 8u);        // image size
    for (size_t i = 24; i < b.size(); ++i)
        ASSERT_EQ(b[i], 0) << i;

    // Rows are stored bottom first: the top row's pixel lands in the last row of the block.
    image.SetPixel(2, 0, 7);
    EXPECT_EQ(image.block()[40 + 1024 + 4 + 2], 7);
    image.SetPixel(3, 0, 9);  // outside: ignored
    image.SetPixel(0, -1, 9);
    EXPECT_EQ(image.block()[40 + 1024 + 3], 0);

    const struct {
        int width, bits, stride, palette;
    } depths[] = {{3, 4, 4, 16}, {33, 1, 8, 2}, {9, 4, 8, 16}, {3, 24, 12, 0}};
    for (const auto& d : depths) {
        SCOPED_TRACE(d.bits);
        ASSERT_TRUE(image.Create(d.width, 2, d.bits));
        EXPECT_EQ(image.stride(), d.stride);
        EXPECT_EQ(image.paletteEntries(), d.palette);
    }
    for (int bad : {0, 2, 16}) {
        EXPECT_FALSE(image.Create(3, 2, bad)) << bad;
        EXPECT_TRUE(image.block().empty());
    }
    EXPECT_FALSE(image.Create(0, 2, 8));
    EXPECT_FALSE(image.Create(100000, 100000, 8)) << "a size it cannot hold";
}

TEST(DibImage, PixelsOfSmallDepthsArePackedFromTheHighBit)
{
    DibImage image;
    ASSERT_TRUE(image.Create(4, 1, 4));
    image.SetPixel(0, 0, 0xA);
    image.SetPixel(1, 0, 0x5);
    image.SetPixel(3, 0, 0xF);
    EXPECT_EQ(image.pixelAddress(0)[0], 0xA5);
    EXPECT_EQ(image.pixelAddress(0)[1], 0x0F);
    ASSERT_TRUE(image.Create(10, 1, 1));
    image.SetPixel(0, 0, 1);
    image.SetPixel(9, 0, 1);
    EXPECT_EQ(image.pixelAddress(0)[0], 0x80);
    EXPECT_EQ(image.pixelAddress(0)[1], 0x40);
    image.SetPixel(0, 0, 0);
    EXPECT_EQ(image.pixelAddress(0)[0], 0x00);
}

TEST(DibImage, TintingMovesThePaletteTowardTheColourAndStopsAtIt)
{
    DibImage image;
    ASSERT_TRUE(image.Create(2, 2, 1));
    image.SetPaletteEntry(0, 0, 0, 0);
    image.SetPaletteEntry(1, 200, 100, 50);
    image.TintPalette(0x0000ff /* red */, 50);
    const std::vector<uint8_t>& b = image.block();
    // Entries hold blue, green, red.
    EXPECT_EQ(b[40 + 0], 0);
    EXPECT_EQ(b[40 + 2], 127);
    EXPECT_EQ(b[44 + 0], 25);
    EXPECT_EQ(b[44 + 1], 50);
    EXPECT_EQ(b[44 + 2], 227);
    image.TintPalette(0x804020, 150);
    for (int entry = 0; entry < 2; ++entry) {
        EXPECT_EQ(b[40 + entry * 4 + 0], 0x80);
        EXPECT_EQ(b[40 + entry * 4 + 1], 0x40);
        EXPECT_EQ(b[40 + entry * 4 + 2], 0x20);
    }
    image.TintPalette(0xffffff, -50);  // nothing below zero
    EXPECT_EQ(b[40 + 0], 0x80);
}

TEST(DibImage, DrawingPutsEachPixelInItsPaletteColourTopRowFirst)
{
    DibImage image;
    ASSERT_TRUE(image.Create(3, 2, 8));
    image.SetPaletteEntry(1, 255, 0, 0);
    image.SetPaletteEntry(2, 0, 0, 255);
    image.Fill(1);
    image.SetPixel(0, 0, 2);
    image.SetPixel(2, 1, 2);
    wxBitmap target = filledBitmap(6, 5, 0x00ff00);
    {
        wxMemoryDC dc(target);
        image.Draw(dc, 2, 1);
    }
    EXPECT_EQ(pixelAt(target, 2, 1), 0xff0000u);  // blue at the top left
    EXPECT_EQ(pixelAt(target, 3, 1), 0x0000ffu);  // red
    EXPECT_EQ(pixelAt(target, 4, 2), 0xff0000u);  // blue at the bottom right
    EXPECT_EQ(pixelAt(target, 2, 2), 0x0000ffu);
    EXPECT_EQ(pixelAt(target, 1, 1), 0x00ff00u);  // nothing outside
    EXPECT_EQ(pixelAt(target, 5, 3), 0x00ff00u);

    DibImage copy;
    copy.Copy(image);
    EXPECT_EQ(copy.block(), image.block());
    EXPECT_EQ(copy.indexAt(2, 1), 2);
}
