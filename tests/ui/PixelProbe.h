#pragma once

// Reading back what a control or helper drew: a bitmap drawn through a memory context and
// the colour of one of its pixels as a COLORREF.

#include "ui/kit/Skin.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/image.h>

namespace orvane::testing {

inline ColorRef pixelAt(const wxBitmap& bitmap, int x, int y)
{
    const wxImage image = bitmap.ConvertToImage();
    return colorRefOf(wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)));
}

// A bitmap of the size filled with the colour.
inline wxBitmap filledBitmap(int width, int height, ColorRef color)
{
    wxBitmap bitmap(width, height, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(colourOf(color)));
    dc.Clear();
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

} // namespace orvane::testing
