#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/bitmap.h>
#include <wx/region.h>

class wxDC;
class wxRect;

namespace orvane {

// A bitmap of the program's resources with what the skinned controls do with it: drawing
// with a key colour left out, a black-and-white mask, and a window shape cut from it.
// User-interface thread only.
class CSkinBitmap {
public:
    // Loads the resource bitmap; false (and empty) for an unknown id.
    bool LoadBitmap(int resourceId);
    // Loads it and turns every pixel of the key colour white and every other black.
    bool LoadMask(int resourceId, ColorRef key);
    // The same with a bitmap at hand instead of a resource.
    void Attach(const wxBitmap& bitmap) { bitmap_ = bitmap; }
    bool MakeMask(ColorRef key);

    // The bitmap's rectangle less every pixel of the colour, moved by (dx, dy); an invalid
    // region for an empty bitmap.
    wxRegion CreateRegion(int dx, int dy, ColorRef color) const;
    // Draws at (x, y): at its own size when that is width by height, else stretched (smooth
    // when `smooth`).
    void Draw(wxDC& dc, int x, int y, int width, int height, bool smooth = false) const;
    // The same, leaving the destination unchanged wherever the bitmap has the key colour.
    void DrawTransparent(wxDC& dc, int x, int y, int width, int height, ColorRef key) const;
    // Copies the source rectangle into the target's rectangle, stretched when they differ;
    // false when either bitmap is empty.
    bool copyTo(wxBitmap& target, const wxRect& source, const wxRect& destination) const;

    bool sizeDiffers(int width, int height) const { return GetWidth() != width || GetHeight() != height; }
    int GetWidth() const { return bitmap_.IsOk() ? bitmap_.GetWidth() : 0; }
    int GetHeight() const { return bitmap_.IsOk() ? bitmap_.GetHeight() : 0; }
    bool isEmpty() const { return !bitmap_.IsOk(); }
    const wxBitmap& bitmap() const { return bitmap_; }

private:
    wxBitmap bitmap_;
};

} // namespace orvane
