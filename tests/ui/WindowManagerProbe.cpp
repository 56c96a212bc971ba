#include "tests/ui/DesktopSession.h"

#include <gdk/gdkx.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace orvane::testing {

bool windowManagerAnswersFrameExtents(GdkDisplay* display, std::chrono::milliseconds within)
{
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    const Window root = DefaultRootWindow(x);
    const Window probe = XCreateSimpleWindow(x, root, 0, 0, 10, 10, 0, 0, 0);
    const Atom extents = XInternAtom(x, "_NET_FRAME_EXTENTS", False);
    XClientMessageEvent request{};
    request.type = ClientMessage;
    request.window = probe;
    request.message_type = XInternAtom(x, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.format = 32;
    bool answered = false;
    const auto deadline = std::chrono::steady_clock::now() + within;
    // A manager that has only just taken the display may not listen on the root window
    // yet, and a question sent before then is lost: it is asked again until answered.
    for (int round = 0; !answered && std::chrono::steady_clock::now() < deadline; ++round) {
        if (round % 10 == 0) {
            XSendEvent(x, root, False, SubstructureNotifyMask | SubstructureRedirectMask,
                       reinterpret_cast<XEvent*>(&request));
            XFlush(x);
        }
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(x, probe, extents, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success)
            answered = count == 4;
        if (data)
            XFree(data);
        if (!answered)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XDestroyWindow(x, probe);
    XFlush(x);
    return answered;
}

} // namespace orvane::testing
