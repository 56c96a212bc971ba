#include "tests/ui/TrayHost.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

// Last: Xlib defines macros (Status, Bool, None) that other headers would trip over.
#include <gdk/gdkx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace orvane::testing {

namespace {

// Polls without the event loop: the tray is another process, and this one need not turn.
bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool hasProperty(Display* display, Window window, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(display, window, property, 0, 1, False, AnyPropertyType, &type, &format,
                                      &count, &after, &data);
    if (data)
        XFree(data);
    return rc == Success && type != None;
}

long cardinalProperty(Display* display, Window window, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1 && format == 32)
        value = *reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    return value;
}

std::vector<Window> children(Display* display, Window window)
{
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned int count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, window, &root, &parent, &list, &count)) {
        out.assign(list, list + count);
        if (list)
            XFree(list);
    }
    return out;
}

// A failed request (a window destroyed while it is looked at) is an answer, not an abort:
// the handler is process-wide, and GDK's ends the process.
int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

class IgnoringErrors {
public:
    explicit IgnoringErrors(Display* display) : display_(display), previous_(XSetErrorHandler(ignoreError)) {}
    ~IgnoringErrors()
    {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }

private:
    Display* display_;
    int (*previous_)(Display*, XErrorEvent*);
};

} // namespace

TrayHost::TrayHost() : display_(XOpenDisplay(nullptr))
{
    if (!display_) {
        ADD_FAILURE() << "no X display for the tray";
        selection_ = 0;
        return;
    }
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display_));
    selection_ = XInternAtom(display_, name.c_str(), False);
}

TrayHost::~TrayHost()
{
    stop();
    if (display_)
        XCloseDisplay(display_);
}

unsigned long TrayHost::selectionOwner()
{
    return display_ ? XGetSelectionOwner(display_, selection_) : None;
}

bool TrayHost::start()
{
    const std::string trayer = findPeerBinary({"/usr/bin/trayer"}, "trayer");
    if (trayer.empty() || !display_)
        return false;
    if (selectionOwner() != None) {
        ADD_FAILURE() << "another tray already runs on this display";
        return false;
    }
    if (!process_.start({trayer, "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"},
                        "/dev/null")) {
        ADD_FAILURE() << "trayer did not start";
        return false;
    }
    if (!pollUntil([this] { return selectionOwner() != None || !process_.running(); }, std::chrono::seconds(10)) ||
        !process_.running()) {
        ADD_FAILURE() << "trayer did not take the tray selection";
        return false;
    }
    return true;
}

void TrayHost::stop()
{
    if (!process_.running())
        return;
    process_.stop();
    if (!pollUntil([this] { return selectionOwner() == None; }, std::chrono::seconds(10)))
        ADD_FAILURE() << "the tray selection outlived trayer";
}

std::vector<unsigned long> TrayHost::dockedWindows()
{
    std::vector<unsigned long> docked;
    if (!display_ || process_.pid() <= 0)
        return docked;
    IgnoringErrors scope(display_);
    const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
    const Atom embedAtom = XInternAtom(display_, "_XEMBED_INFO", False);
    // The tray's windows are the top-level ones its process marks as its own; what carries
    // XEmbed information inside them is docked there.
    std::function<void(Window)> collect = [&](Window window) {
        for (Window child : children(display_, window)) {
            if (hasProperty(display_, child, embedAtom))
                docked.push_back(child);
            collect(child);
        }
    };
    // A window manager puts the tray's window into a frame of its own, so it is looked for
    // below the root's children too.
    std::function<void(Window)> findTray = [&](Window window) {
        for (Window child : children(display_, window)) {
            if (cardinalProperty(display_, child, pidAtom) == process_.pid())
                collect(child);
            else
                findTray(child);
        }
    };
    findTray(DefaultRootWindow(display_));
    return docked;
}

wxRect TrayHost::screenRect(unsigned long window)
{
    if (!display_)
        return wxRect();
    IgnoringErrors scope(display_);
    XWindowAttributes attributes;
    int x = 0, y = 0;
    Window child = 0;
    if (!XGetWindowAttributes(display_, window, &attributes) ||
        !XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child))
        return wxRect();
    return wxRect(x, y, attributes.width, attributes.height);
}

bool TrayHost::pointerWithin(unsigned long window)
{
    XWindowAttributes attributes;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int buttons = 0;
    if (!display_)
        return false;
    IgnoringErrors scope(display_);
    return XGetWindowAttributes(display_, window, &attributes) &&
           XQueryPointer(display_, window, &root, &child, &rootX, &rootY, &x, &y, &buttons) && x >= 0 && y >= 0 &&
           x < attributes.width && y < attributes.height;
}

std::vector<StatusIconWindow> statusIconWindows()
{
    std::vector<StatusIconWindow> found;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
        if (std::strcmp(G_OBJECT_TYPE_NAME(item->data), "GtkTrayIcon") != 0)
            continue;
        GtkWidget* widget = GTK_WIDGET(item->data);
        GdkWindow* window = gtk_widget_get_window(widget);
        gchar* tip = gtk_widget_get_tooltip_text(widget);
        found.push_back({window ? GDK_WINDOW_XID(window) : 0, tip ? tip : ""});
        g_free(tip);
    }
    g_list_free(toplevels);
    return found;
}

} // namespace orvane::testing
