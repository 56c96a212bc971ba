#include "ui/kit/CSkinBitmap.h"

#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"

#include <wx/dc.h>
#include <wx/dcmemory.h>
#include <wx/image.h>

namespace orvane {

namespace {

bool hasColor(const wxImage& image, int x, int y, ColorRef color)
{
    const wxColour c = colourOf(color);
    return image.GetRed(x, y) == c.Red() && image.GetGreen(x, y) == c.Green() && image.GetBlue(x, y) == c.Blue();
}

// The bitmap at the size, stretched when it differs.
wxBitmap atSize(const wxBitmap& bitmap, int width, int height, bool smooth)
{
    if (bitmap.GetWidth() == width && bitmap.GetHeight() == height)
        return bitmap;
    return wxBitmap(bitmap.ConvertToImage().Scale(width, height,
                                                  smooth ? wxIMAGE_QUALITY_HIGH : wxIMAGE_QUALITY_NEAREST));
}

} // namespace

bool CSkinBitmap::LoadBitmap(int resourceId)
{
    bitmap_ = resourceBitmap(resourceId);
    return bitmap_.IsOk();
}

bool CSkinBitmap::LoadMask(int resourceId, ColorRef key)
{
    return LoadBitmap(resourceId) && MakeMask(key);
}

bool CSkinBitmap::MakeMask(ColorRef key)
{
    if (!bitmap_.IsOk())
        return false;
    wxImage image = bitmap_.ConvertToImage();
    if (!image.IsOk())
        return false;
    if (image.HasAlpha())
        image.ClearAlpha();
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            const unsigned char v = hasColor(image, x, y, key) ? 255 : 0;
            image.SetRGB(x, y, v, v, v);
        }
    }
    bitmap_ = wxBitmap(image, 24);
    return bitmap_.IsOk();
}

wxRegion CSkinBitmap::CreateRegion(int dx, int dy, ColorRef color) const
{
    if (!bitmap_.IsOk())
        return wxRegion();
    const wxImage image = bitmap_.ConvertToImage();
    wxRegion region(dx, dy, image.GetWidth(), image.GetHeight());
    for (int y = 0; y < image.GetHeight(); ++y) {
        int x = 0;
        while (x < image.GetWidth()) {
            if (!hasColor(image, x, y, color)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < image.GetWidth() && hasColor(image, x, y, color))
                ++x;
            region.Subtract(wxRect(dx + start, dy + y, x - start, 1));
        }
    }
    return region;
}

void CSkinBitmap::Draw(wxDC& dc, int x, int y, int width, int height, bool smooth) const
{
    if (bitmap_.IsOk() && width > 0 && height > 0)
        dc.DrawBitmap(atSize(bitmap_, width, height, smooth), x, y, false);
}

void CSkinBitmap::DrawTransparent(wxDC& dc, int x, int y, int width, int height, ColorRef key) const
{
    if (!bitmap_.IsOk() || width <= 0 || height <= 0)
        return;
    // Stretched without smoothing, so the key colour stays exact and the cut-out sharp.
    wxBitmap picture = atSize(bitmap_, width, height, false);
    picture.SetMask(new wxMask(picture, colourOf(key)));
    dc.DrawBitmap(picture, x, y, true);
}

bool CSkinBitmap::copyTo(wxBitmap& target, const wxRect& source, const wxRect& destination) const
{
    if (!bitmap_.IsOk() || !target.IsOk() || source.IsEmpty() || destination.IsEmpty())
        return false;
    wxMemoryDC from(const_cast<wxBitmap&>(bitmap_));
    wxMemoryDC to(target);
    if (source.GetSize() == destination.GetSize())
        to.Blit(destination.GetPosition(), destination.GetSize(), &from, source.GetPosition());
    else
        to.StretchBlit(destination.GetPosition(), destination.GetSize(), &from, source.GetPosition(),
                       source.GetSize());
    return true;
}

} // namespace orvane
