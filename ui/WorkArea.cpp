#include "ui/WorkArea.h"

#include <gdk/gdk.h>

#include <cstdint>
#include <optional>
#include <vector>

// Last: Xlib defines macros (Status, Bool, None) that other headers would trip over.
#ifdef GDK_WINDOWING_X11
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#endif

namespace orvane {

namespace {

#ifdef GDK_WINDOWING_X11

// The 32-bit items of a CARDINAL property of the root window; none when it is missing or
// of another type.
std::optional<std::vector<unsigned long>> rootCardinals(Display* display, const char* name)
{
    const Atom property = XInternAtom(display, name, True);
    if (property == 0)
        return std::nullopt;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    // 256 items hold the rectangles of 64 desktops; a longer list is cut there.
    const int rc = XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 256, False, XA_CARDINAL,
                                      &type, &format, &count, &remaining, &data);
    std::optional<std::vector<unsigned long>> items;
    if (rc == Success && type == XA_CARDINAL && format == 32 && data) {
        // Xlib hands 32-bit items over as longs.
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        items.emplace(values, values + count);
    }
    if (data)
        XFree(data);
    return items;
}

std::optional<wxRect> publishedWorkArea(Display* display)
{
    const auto areas = rootCardinals(display, "_NET_WORKAREA");
    if (!areas || areas->size() < 4)
        return std::nullopt;
    size_t desktop = 0;
    if (const auto current = rootCardinals(display, "_NET_CURRENT_DESKTOP"); current && !current->empty())
        desktop = (*current)[0];
    // A window manager that lists fewer rectangles than desktops has one for all of them.
    if (desktop >= areas->size() / 4)
        desktop = 0;
    const auto at = [&](size_t i) { return static_cast<int>(static_cast<int32_t>((*areas)[desktop * 4 + i])); };
    return wxRect(at(0), at(1), at(2), at(3));
}

#endif

} // namespace

WorkArea WorkArea::current()
{
    WorkArea area;
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return area;
#ifdef GDK_WINDOWING_X11
    if (GDK_IS_X11_DISPLAY(display)) {
        Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
        const int screen = DefaultScreen(xdisplay);
        area.screen = wxRect(0, 0, DisplayWidth(xdisplay, screen), DisplayHeight(xdisplay, screen));
        area.work = area.screen;
        if (const auto published = publishedWorkArea(xdisplay)) {
            const wxRect onScreen = published->Intersect(area.screen);
            if (!onScreen.IsEmpty())
                area.work = onScreen;
        }
        return area;
    }
#endif
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0)
        monitor = gdk_display_get_monitor(display, 0);
    if (!monitor)
        return area;
    GdkRectangle geometry;
    GdkRectangle work;
    gdk_monitor_get_geometry(monitor, &geometry);
    gdk_monitor_get_workarea(monitor, &work);
    area.screen = wxRect(geometry.x, geometry.y, geometry.width, geometry.height);
    area.work = wxRect(work.x, work.y, work.width, work.height).Intersect(area.screen);
    if (area.work.IsEmpty())
        area.work = area.screen;
    return area;
}

} // namespace orvane
