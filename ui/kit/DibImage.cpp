#include "ui/kit/DibImage.h"

#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/image.h>

#include <algorithm>

namespace orvane {

namespace {

constexpr int MaxSide = 16384;

void put32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

} // namespace

bool DibImage::Create(int width, int height, int bitsPerPixel)
{
    block_.clear();
    width_ = height_ = bits_ = stride_ = paletteEntries_ = 0;
    const bool depthOk = bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 24 ||
                         bitsPerPixel == 32;
    if (!depthOk || width <= 0 || height <= 0 || width > MaxSide || height > MaxSide)
        return false;
    width_ = width;
    height_ = height;
    bits_ = bitsPerPixel;
    stride_ = ((bitsPerPixel * width + 31) / 32) * 4;
    paletteEntries_ = bitsPerPixel <= 8 ? 1 << bitsPerPixel : 0;
    const size_t imageSize = static_cast<size_t>(stride_) * static_cast<size_t>(height);
    block_.assign(HeaderSize + static_cast<size_t>(paletteEntries_) * 4 + imageSize, 0);
    put32(&block_[0], HeaderSize);
    put32(&block_[4], static_cast<uint32_t>(width));
    put32(&block_[8], static_cast<uint32_t>(height));
    put16(&block_[12], 1);
    put16(&block_[14], static_cast<uint16_t>(bitsPerPixel));
    put32(&block_[20], static_cast<uint32_t>(imageSize));
    return true;
}

void DibImage::Copy(const DibImage& other)
{
    block_ = other.block_;
    width_ = other.width_;
    height_ = other.height_;
    bits_ = other.bits_;
    stride_ = other.stride_;
    paletteEntries_ = other.paletteEntries_;
}

void DibImage::Fill(uint8_t index)
{
    if (block_.empty())
        return;
    std::fill(block_.begin() + HeaderSize + paletteEntries_ * 4, block_.end(), index);
}

uint8_t* DibImage::pixelAddress(int y)
{
    if (block_.empty() || y < 0 || y >= height_)
        return nullptr;
    return block_.data() + HeaderSize + paletteEntries_ * 4 + static_cast<size_t>(height_ - 1 - y) * stride_;
}

const uint8_t* DibImage::pixelAddress(int y) const
{
    return const_cast<DibImage*>(this)->pixelAddress(y);
}

void DibImage::SetPixel(int x, int y, uint8_t index)
{
    uint8_t* row = pixelAddress(y);
    if (!row || x < 0 || x >= width_ || paletteEntries_ == 0)
        return;
    if (bits_ == 8) {
        row[x] = index;
    } else if (bits_ == 4) {
        uint8_t& byte = row[x / 2];
        byte = x % 2 ? static_cast<uint8_t>((byte & 0xf0) | (index & 0x0f))
                     : static_cast<uint8_t>((byte & 0x0f) | (index & 0x0f) << 4);
    } else {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        row[x / 8] = static_cast<uint8_t>(index & 1 ? row[x / 8] | bit : row[x / 8] & ~bit);
    }
}

uint8_t DibImage::indexAt(int x, int y) const
{
    const uint8_t* row = pixelAddress(y);
    if (!row || x < 0 || x >= width_ || paletteEntries_ == 0)
        return 0;
    if (bits_ == 8)
        return row[x];
    if (bits_ == 4)
        return x % 2 ? row[x / 2] & 0x0f : row[x / 2] >> 4;
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

void DibImage::SetPaletteEntry(int index, uint8_t red, uint8_t green, uint8_t blue)
{
    if (index < 0 || index >= paletteEntries_)
        return;
    uint8_t* entry = palette() + index * 4;
    entry[0] = blue;
    entry[1] = green;
    entry[2] = red;
    entry[3] = 0;
}

void DibImage::TintPalette(ColorRef color, int percent)
{
    percent = std::clamp(percent, 0, 100);
    const int keep = 100 - percent;
    // Entries hold blue, green, red; the colour holds red in its low byte.
    const int toward[3] = {static_cast<int>((color >> 16) & 0xff), static_cast<int>((color >> 8) & 0xff),
                           static_cast<int>(color & 0xff)};
    for (int i = 0; i < paletteEntries_; ++i) {
        uint8_t* entry = palette() + i * 4;
        for (int c = 0; c < 3; ++c)
            entry[c] = static_cast<uint8_t>((entry[c] * keep + toward[c] * percent) / 100);
    }
}

void DibImage::Draw(wxDC& dc, int x, int y) const
{
    if (block_.empty())
        return;
    wxImage image(width_, height_, false);
    unsigned char* out = image.GetData();
    for (int row = 0; row < height_; ++row) {
        const uint8_t* in = pixelAddress(row);
        for (int column = 0; column < width_; ++column, out += 3) {
            const uint8_t* bgr;
            if (paletteEntries_)
                bgr = palette() + indexAt(column, row) * 4;
            else
                bgr = in + column * (bits_ / 8);
            out[0] = bgr[2];
            out[1] = bgr[1];
            out[2] = bgr[0];
        }
    }
    dc.DrawBitmap(wxBitmap(image), x, y, false);
}

} // namespace orvane
