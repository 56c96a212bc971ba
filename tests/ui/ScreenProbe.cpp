#include "tests/ui/ScreenProbe.h"

#include <wx/app.h>
#include <wx/utils.h>

// Last: Xlib defines macros (Status, Bool, None) that wx's headers would trip over.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvane::testing {

namespace {

// One channel of a pixel, by the channel's mask: the mask's bits moved down to start at 0.
unsigned char channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    return static_cast<unsigned char>((pixel & mask) >> __builtin_ctzl(mask));
}

} // namespace

wxSize screenSize()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return wxSize();
    XWindowAttributes root{};
    const bool known = XGetWindowAttributes(display, DefaultRootWindow(display), &root) != 0;
    XCloseDisplay(display);
    return known ? wxSize(root.width, root.height) : wxSize();
}

wxImage screenImage(const wxRect& wanted)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return wxImage();
    wxImage image;
    // Only what lies on the screen: XGetImage refuses (BadMatch) a rectangle reaching past
    // the root window, and the default error handler would end the process.
    XWindowAttributes root{};
    wxRect area = wanted;
    if (XGetWindowAttributes(display, DefaultRootWindow(display), &root))
        area.Intersect(wxRect(0, 0, root.width, root.height));
    else
        area = wxRect();
    // The root window, not the program's own: what the server composed, as a person sees it.
    XImage* shot = area.IsEmpty() ? nullptr
                                  : XGetImage(display, DefaultRootWindow(display), area.x, area.y,
                                              static_cast<unsigned>(area.width),
                                              static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
    if (shot) {
        image.Create(area.width, area.height);
        for (int y = 0; y < area.height; ++y) {
            for (int x = 0; x < area.width; ++x) {
                const unsigned long pixel = XGetPixel(shot, x, y);
                image.SetRGB(x, y, channel(pixel, shot->red_mask), channel(pixel, shot->green_mask),
                             channel(pixel, shot->blue_mask));
            }
        }
        XDestroyImage(shot);
    }
    XCloseDisplay(display);
    return image;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        wxTheApp->ProcessPendingEvents();
        wxYield();
        // The server and the frame clock run on their own; give them a moment between looks.
        wxMilliSleep(5);
    }
    return true;
}

} // namespace orvane::testing
