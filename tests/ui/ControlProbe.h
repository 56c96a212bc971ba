#pragma once

// Driving and reading back the kit's owner-drawn controls: their picture drawn through a memory
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
#include <utility>
#include <vector>

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

// Mouse sequences over a button at least 30 by 20 whose right edge is left of x 200, and
// how many clicks each must make: a click is the left button released over the button it
// went down on.
struct ClickCase {
    const char* what;
    std::vector<std::pair<wxEventType, wxPoint>> steps;
    size_t clicks;
};

inline const std::vector<ClickCase>& clickCases()
{
    static const std::vector<ClickCase> cases = {
        {"down and up inside", {{wxEVT_LEFT_DOWN, {20, 10}}, {wxEVT_LEFT_UP, {21, 11}}}, 1},
        {"double click", {{wxEVT_LEFT_DCLICK, {20, 10}}, {wxEVT_LEFT_UP, {20, 10}}}, 1},
        {"up outside", {{wxEVT_LEFT_DOWN, {20, 10}}, {wxEVT_MOTION, {200, 10}}, {wxEVT_LEFT_UP, {200, 10}}}, 0},
        {"out and back in", {{wxEVT_LEFT_DOWN, {20, 10}}, {wxEVT_MOTION, {200, 10}}, {wxEVT_LEFT_UP, {20, 10}}}, 1},
        {"down elsewhere", {{wxEVT_MOTION, {20, 10}}, {wxEVT_LEFT_UP, {20, 10}}}, 0},
    };
    return cases;
}

// Plays one sequence to the button.
inline void playClick(wxWindow& button, const ClickCase& c)
{
    for (const auto& [type, at] : c.steps)
        sendMouse(button, type, at.x, at.y, type != wxEVT_LEFT_UP);
}

} // namespace orvane::testing
