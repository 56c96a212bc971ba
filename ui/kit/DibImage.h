#pragma once

#include "core/module/ModuleInterfaces.h"

#include <cstdint>
#include <vector>

class wxDC;

namespace orvane {

// A device-independent bitmap with a palette (8, 4 or 1 bits a pixel), kept as one packed
// block the way such bitmaps are stored: a 40-byte header (little-endian: size 40, width,
// height, 1 plane, bits a pixel, no compression, image size = stride x height, the rest 0),
// the palette (2, 16 or 256 entries of blue, green, red, 0; none for other depths), then the
// pixel rows, bottom row first, each padded to a multiple of 4 bytes. The shaded buttons
// build their pictures in it. User-interface thread only.
class DibImage {
public:
    static constexpr int HeaderSize = 40;

    // Frees what it held and makes an image of the size, header filled, palette and pixels
    // zero. A size or depth it cannot hold (not positive, over 16384 a side, or a depth other
    // than 1, 4, 8, 24 or 32) leaves it empty and answers false.
    bool Create(int width, int height, int bitsPerPixel);
    // The same size, depth, palette and pixels as the other.
    void Copy(const DibImage& other);
    // Every pixel byte set to the index.
    void Fill(uint8_t index);
    // Ignored outside the image or without a palette; row y counts from the top.
    void SetPixel(int x, int y, uint8_t index);
    void SetPaletteEntry(int index, uint8_t red, uint8_t green, uint8_t blue);
    // Moves every palette entry towards the colour by the percent (kept within 0 to 100).
    void TintPalette(ColorRef color, int percent);
    // Draws the image at its own size with its top-left corner at (x, y).
    void Draw(wxDC& dc, int x, int y) const;

    int width() const { return width_; }
    int height() const { return height_; }
    int bitsPerPixel() const { return bits_; }
    int stride() const { return stride_; }
    int paletteEntries() const { return paletteEntries_; }
    // The whole packed block (header, palette, pixels); empty when there is no image.
    const std::vector<uint8_t>& block() const { return block_; }
    // The first byte of row y counted from the top; NULL outside the image.
    uint8_t* pixelAddress(int y);
    const uint8_t* pixelAddress(int y) const;
    // The palette index of a pixel (0 outside the image or without a palette).
    uint8_t indexAt(int x, int y) const;

private:
    uint8_t* palette() { return block_.data() + HeaderSize; }
    const uint8_t* palette() const { return block_.data() + HeaderSize; }

    std::vector<uint8_t> block_;
    int width_ = 0;
    int height_ = 0;
    int bits_ = 0;
    int stride_ = 0;
    int paletteEntries_ = 0;
};

} // namespace orvane
