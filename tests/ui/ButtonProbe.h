#pragma once

// Driving and reading back the owner-drawn buttons: their picture drawn through a memory
// context, mouse and focus events sent straight to their handlers, and where in a picture a
// colour lies.

#include "tests/ui/PixelProbe.h"
#include "tests/ui/ScreenProbe.h"

#include <wx/app.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <algorithm>
#include <chrono>
#include <functional>

namespace orvane::testing {

// The control's whole picture, drawn by its render(wxDC&).
template <typename Control>
wxBitmap drawnControl(Control& control)
{
    const wxSize size = control.GetClientSize();
    wxBitmap bitmap(size.GetWidth(), size.GetHeight(), 24);
    wxMemoryDC dc(bitmap);
    control.render(dc);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

inline void sendMouse(wxWindow& window, wxEventType type, int x, int y, bool leftDown)
{
    wxMouseEvent event(type);
    event.SetPosition(wxPoint(x, y));
    event.m_leftDown = leftDown;
    event.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(event);
}

inline void sendFocus(wxWindow& window, bool gained)
{
    wxFocusEvent event(gained ? wxEVT_SET_FOCUS : wxEVT_KILL_FOCUS, window.GetId());
    event.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(event);
}

inline void sendKey(wxWindow& window, int code)
{
    wxKeyEvent event(wxEVT_KEY_DOWN);
    event.m_keyCode = code;
    event.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(event);
}

// The smallest rectangle holding every pixel of exactly the colour; empty when there is none.
inline wxRect colourBox(const wxBitmap& bitmap, ColorRef color)
{
    const wxImage image = bitmap.ConvertToImage();
    const wxColour c = colourOf(color);
    int left = image.GetWidth(), top = image.GetHeight(), right = -1, bottom = -1;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            if (image.GetRed(x, y) == c.Red() && image.GetGreen(x, y) == c.Green() && image.GetBlue(x, y) == c.Blue()) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? wxRect() : wxRect(wxPoint(left, top), wxPoint(right, bottom));
}

inline wxRect movedBy(wxRect rect, int dx, int dy)
{
    rect.Offset(dx, dy);
    return rect;
}

} // namespace orvane::testing
