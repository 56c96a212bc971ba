#include "ui/kit/Edges.h"

#include "ui/kit/Skin.h"

#include <wx/dc.h>

namespace orvane {

void fillSolidRect(wxDC& dc, const wxRect& rect, ColorRef color)
{
    if (rect.GetWidth() <= 0 || rect.GetHeight() <= 0)
        return;
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colourOf(color)));
    dc.DrawRectangle(rect);
}

void draw3dRect(wxDC& dc, const wxRect& rect, ColorRef topLeft, ColorRef bottomRight)
{
    const int x = rect.GetLeft();
    const int y = rect.GetTop();
    const int w = rect.GetWidth();
    const int h = rect.GetHeight();
    if (w <= 0 || h <= 0)
        return;
    fillSolidRect(dc, wxRect(x, y, w - 1, 1), topLeft);
    fillSolidRect(dc, wxRect(x, y, 1, h - 1), topLeft);
    fillSolidRect(dc, wxRect(x + w - 1, y, 1, h), bottomRight);
    fillSolidRect(dc, wxRect(x, y + h - 1, w, 1), bottomRight);
}

void drawEdge(wxDC& dc, const wxRect& rect, bool sunken)
{
    const ColorRef light = systemColor(wxSYS_COLOUR_3DLIGHT);
    const ColorRef highlight = systemColor(wxSYS_COLOUR_3DHIGHLIGHT);
    const ColorRef shadow = systemColor(wxSYS_COLOUR_BTNSHADOW);
    const ColorRef darkShadow = systemColor(wxSYS_COLOUR_3DDKSHADOW);
    const wxRect inner = wxRect(rect).Deflate(1);
    if (sunken) {
        draw3dRect(dc, rect, shadow, highlight);
        draw3dRect(dc, inner, darkShadow, light);
    } else {
        draw3dRect(dc, rect, light, darkShadow);
        draw3dRect(dc, inner, highlight, shadow);
    }
}

void drawFocusRect(wxDC& dc, const wxRect& rect, ColorRef color)
{
    if (rect.GetWidth() <= 0 || rect.GetHeight() <= 0)
        return;
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colourOf(color)));
    // Walk the border once round, so the dots keep their rhythm across the corners.
    const int left = rect.GetLeft();
    const int top = rect.GetTop();
    const int right = rect.GetRight();
    const int bottom = rect.GetBottom();
    int step = 0;
    auto dot = [&](int x, int y) {
        if (step++ % 2 == 0)
            dc.DrawRectangle(x, y, 1, 1);
    };
    for (int x = left; x <= right; ++x)
        dot(x, top);
    for (int y = top + 1; y <= bottom; ++y)
        dot(right, y);
    for (int x = right - 1; x >= left && bottom > top; --x)
        dot(x, bottom);
    for (int y = bottom - 1; y > top && right > left; --y)
        dot(left, y);
}

} // namespace orvane
