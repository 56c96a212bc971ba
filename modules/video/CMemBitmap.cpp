#include "modules/video/CMemBitmap.h"

#include <wx/graphics.h>
#include <wx/image.h>

namespace orvane {

wxMemoryDC* CMemBitmap::getDC()
{
    releaseDC();
    if (!bitmap_.IsOk())
        return nullptr;
    memDC_ = std::make_unique<wxMemoryDC>(bitmap_);
    return memDC_.get();
}

void CMemBitmap::releaseDC()
{
    if (!memDC_)
        return;
    memDC_->SelectObject(wxNullBitmap);
    memDC_.reset();
}

wxSize CMemBitmap::getSize() const
{
    return bitmap_.IsOk() ? bitmap_.GetSize() : wxSize(0, 0);
}

void CMemBitmap::create(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    if (bitmap_.IsOk() && bitmap_.GetWidth() == width && bitmap_.GetHeight() == height)
        return;
    releaseDC();
    bitmap_ = wxBitmap(width, height, 24);
}

void CMemBitmap::draw(wxDC& target, int left, int top, int right, int bottom)
{
    const int width = right - left;
    const int height = bottom - top;
    wxMemoryDC* source = getDC();
    if (source && width > 0 && height > 0) {
        const wxSize size = bitmap_.GetSize();
        if (size.x == width && size.y == height) {
            target.Blit(left, top, width, height, source, 0, 0);
        } else {
            releaseDC();
            const wxBitmap scaled = smoothScaled(width, height);
            wxMemoryDC scaledDC;
            scaledDC.SelectObjectAsSource(scaled);
            target.Blit(left, top, width, height, &scaledDC, 0, 0);
        }
    }
    releaseDC();
}

wxBitmap CMemBitmap::smoothScaled(int width, int height) const
{
    // A plain stretch repeats or drops whole pixels, and a 120 by 90 picture over a screen
    // turns into blocks; cairo's good filter blends neighbours (bilinear when enlarging,
    // averaging when shrinking), at the cost of one pass over the target.
    wxBitmap scaled(width, height, 24);
    {
        wxMemoryDC dc(scaled);
        std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
        if (gc) {
            gc->SetInterpolationQuality(wxINTERPOLATION_GOOD);
            gc->SetAntialiasMode(wxANTIALIAS_NONE);
            gc->DrawBitmap(bitmap_, 0, 0, width, height);
            return scaled;
        }
    }
    return wxBitmap(bitmap_.ConvertToImage().Scale(width, height, wxIMAGE_QUALITY_HIGH), 24);
}

void CMemBitmap::setPixels(const uint32_t* pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0)
        return;
    releaseDC();
    wxImage image(width, height, false);
    unsigned char* rgb = image.GetData();
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; ++i) {
        rgb[3 * i] = static_cast<unsigned char>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(pixels[i]);
    }
    bitmap_ = wxBitmap(image, 24);
}

void CMemBitmap::fill(const wxColour& colour)
{
    wxMemoryDC* dc = getDC();
    if (dc) {
        dc->SetBackground(wxBrush(colour));
        dc->Clear();
    }
    releaseDC();
}

} // namespace orvane
