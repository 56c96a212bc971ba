#include "tests/ui/ProgramWindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <initializer_list>
#include <memory>

namespace orvane::testing {

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr openDisplay()
{
    return DisplayPtr(XOpenDisplay(nullptr));
}

// One property as an array of items of the format; empty when missing.
template <typename Item>
std::vector<Item> property(Display* display, Window window, const char* name, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<Item> items;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1 << 20, False, type, &actualType,
                           &format, &count, &after, &data) == Success &&
        data) {
        // Format 32 items are longs on the client side, whatever their size on the wire.
        const auto* begin = reinterpret_cast<const Item*>(data);
        items.assign(begin, begin + count);
    }
    if (data)
        XFree(data);
    return items;
}

} // namespace

std::vector<XWindowId> windowsOfProcess(pid_t pid)
{
    std::vector<XWindowId> found;
    DisplayPtr display = openDisplay();
    if (!display)
        return found;
    const Window root = DefaultRootWindow(display.get());
    for (unsigned long window : property<unsigned long>(display.get(), root, "_NET_CLIENT_LIST", XA_WINDOW)) {
        const auto pids = property<unsigned long>(display.get(), window, "_NET_WM_PID", XA_CARDINAL);
        if (!pids.empty() && static_cast<pid_t>(pids.front()) == pid)
            found.push_back(window);
    }
    return found;
}

std::string windowTitle(XWindowId window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return std::string();
    auto title = property<char>(display.get(), window, "_NET_WM_NAME",
                                XInternAtom(display.get(), "UTF8_STRING", False));
    if (title.empty())
        title = property<char>(display.get(), window, "WM_NAME", XA_STRING);
    return std::string(title.begin(), title.end());
}

WindowShown windowShown(XWindowId window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return WindowShown::Gone;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display.get(), window, &attributes))
        return WindowShown::Gone;
    const Atom hidden = XInternAtom(display.get(), "_NET_WM_STATE_HIDDEN", False);
    for (unsigned long state : property<unsigned long>(display.get(), window, "_NET_WM_STATE", XA_ATOM))
        if (state == hidden)
            return WindowShown::Minimised;
    const auto wmState = property<unsigned long>(display.get(), window, "WM_STATE",
                                                 XInternAtom(display.get(), "WM_STATE", False));
    if (!wmState.empty() && wmState.front() == IconicState)
        return WindowShown::Minimised;
    return attributes.map_state == IsViewable ? WindowShown::Shown : WindowShown::Hidden;
}

bool windowIsDialog(XWindowId window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return false;
    const Atom dialog = XInternAtom(display.get(), "_NET_WM_WINDOW_TYPE_DIALOG", False);
    for (unsigned long type : property<unsigned long>(display.get(), window, "_NET_WM_WINDOW_TYPE", XA_ATOM))
        if (type == dialog)
            return true;
    return false;
}

XWindowId activeWindow()
{
    DisplayPtr display = openDisplay();
    if (!display)
        return 0;
    const auto active =
        property<unsigned long>(display.get(), DefaultRootWindow(display.get()), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return active.empty() ? 0 : active.front();
}

bool popupMenuShown()
{
    DisplayPtr display = openDisplay();
    if (!display)
        return false;
    Display* d = display.get();
    const Atom popupMenu = XInternAtom(d, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    bool shown = false;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !shown; ++i) {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(d, children[i], &attributes) || !attributes.override_redirect ||
                attributes.map_state != IsViewable)
                continue;
            for (unsigned long type : property<unsigned long>(d, children[i], "_NET_WM_WINDOW_TYPE", XA_ATOM))
                shown = shown || type == popupMenu;
        }
        if (children)
            XFree(children);
    }
    return shown;
}

std::vector<XWindowId> stackingOrder()
{
    DisplayPtr display = openDisplay();
    if (!display)
        return {};
    return property<unsigned long>(display.get(), DefaultRootWindow(display.get()), "_NET_CLIENT_LIST_STACKING",
                                   XA_WINDOW);
}

WindowRect windowRect(XWindowId window)
{
    WindowRect rect;
    DisplayPtr display = openDisplay();
    if (!display)
        return rect;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display.get(), window, &attributes))
        return rect;
    Window child = 0;
    XTranslateCoordinates(display.get(), window, DefaultRootWindow(display.get()), 0, 0, &rect.x, &rect.y, &child);
    rect.width = attributes.width;
    rect.height = attributes.height;
    return rect;
}

namespace {

void sendToRoot(Display* display, XWindowId window, const char* message, std::initializer_list<long> data)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, message, False);
    event.xclient.format = 32;
    int i = 0;
    for (long value : data)
        event.xclient.data.l[i++] = value;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

} // namespace

void askToMove(XWindowId window, int x, int y)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return;
    // Gravity from the window, x and y given, source: a tool acting for the user.
    sendToRoot(display.get(), window, "_NET_MOVERESIZE_WINDOW", {(1L << 8) | (1L << 9) | (2L << 12), x, y, 0, 0});
}

void askToActivate(XWindowId window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return;
    sendToRoot(display.get(), window, "_NET_ACTIVE_WINDOW", {2, CurrentTime, 0});
}

void askToClose(XWindowId window)
{
    DisplayPtr display = openDisplay();
    if (!display)
        return;
    // From a pager or tool acting for the user.
    sendToRoot(display.get(), window, "_NET_CLOSE_WINDOW", {CurrentTime, 2});
}

} // namespace orvane::testing
