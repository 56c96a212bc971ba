#include "ui/TrayManagerWatch.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>

#include <string>
#include <utility>

namespace orvane {

struct TrayManagerWatch::Filter {
    static GdkFilterReturn run(GdkXEvent* xevent, GdkEvent*, gpointer data)
    {
        auto& self = *static_cast<TrayManagerWatch*>(data);
        const XEvent& x = *static_cast<XEvent*>(xevent);
        // MANAGER's second field names the selection the new manager now owns.
        if (x.type == ClientMessage && x.xclient.message_type == self.managerAtom_ &&
            static_cast<unsigned long>(x.xclient.data.l[1]) == self.selectionAtom_)
            self.arrived_();
        return GDK_FILTER_CONTINUE;
    }
};

TrayManagerWatch::TrayManagerWatch(std::function<void()> arrived) : arrived_(std::move(arrived))
{
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display))
        return;
    GdkScreen* screen = gdk_display_get_default_screen(display);
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(gdk_x11_screen_get_screen_number(screen));
    managerAtom_ = gdk_x11_get_xatom_by_name_for_display(display, "MANAGER");
    selectionAtom_ = gdk_x11_get_xatom_by_name_for_display(display, selection.c_str());

    // The manager sends MANAGER to the clients that listen for structure changes on the
    // root window; add that to whatever this program already listens for there.
    Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
    const Window root = GDK_WINDOW_XID(gdk_screen_get_root_window(screen));
    XWindowAttributes attributes;
    if (XGetWindowAttributes(xdisplay, root, &attributes))
        XSelectInput(xdisplay, root, attributes.your_event_mask | StructureNotifyMask);
    gdk_window_add_filter(gdk_screen_get_root_window(screen), Filter::run, this);
}

TrayManagerWatch::~TrayManagerWatch()
{
    // The structure mask stays: GTK's own status icons listen on the root window the same way.
    GdkDisplay* display = gdk_display_get_default();
    if (managerAtom_ && display)
        gdk_window_remove_filter(gdk_screen_get_root_window(gdk_display_get_default_screen(display)), Filter::run, this);
}

} // namespace orvane
