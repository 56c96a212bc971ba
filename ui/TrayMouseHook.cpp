#include "ui/TrayMouseHook.h"

#include "ui/CSystemTray.h"

#include <gtk/gtk.h>

#include <cstring>
#include <set>
#include <utility>

namespace orvane {

namespace {

// The top-level windows GTK's status icons dock into trays with. Their class is private to
// GTK, so it is known by name only.
std::set<GtkWidget*> statusIconWindows()
{
    std::set<GtkWidget*> found;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next) {
        if (std::strcmp(G_OBJECT_TYPE_NAME(item->data), "GtkTrayIcon") == 0)
            found.insert(GTK_WIDGET(item->data));
    }
    g_list_free(toplevels);
    return found;
}

} // namespace

struct TrayMouseHook::Signals {
    // Connected to "event", which GTK emits before the specific button signals: the status
    // icon's own handlers stop the emission of those for the buttons it acts on.
    static gboolean onEvent(GtkWidget*, GdkEvent* event, gpointer data)
    {
        auto& self = *static_cast<TrayMouseHook*>(data);
        if (event->type == GDK_BUTTON_PRESS || event->type == GDK_2BUTTON_PRESS || event->type == GDK_BUTTON_RELEASE) {
            if (const long action = actionOf(event->type, event->button.button))
                self.handler_(action);
        }
        return FALSE;
    }

    static void onDestroy(GtkWidget*, gpointer data) { static_cast<TrayMouseHook*>(data)->plug_ = nullptr; }
};

TrayMouseHook::TrayMouseHook(Handler handler) : handler_(std::move(handler)) {}

TrayMouseHook::~TrayMouseHook()
{
    if (plug_)
        g_signal_handlers_disconnect_by_data(plug_, this);
}

void TrayMouseHook::watchWhile(const std::function<void()>& show)
{
    if (plug_) {
        show();
        return;
    }
    const std::set<GtkWidget*> before = statusIconWindows();
    show();
    for (GtkWidget* window : statusIconWindows()) {
        if (before.count(window) == 0) {
            plug_ = window;
            g_signal_connect(plug_, "event", G_CALLBACK(Signals::onEvent), this);
            g_signal_connect(plug_, "destroy", G_CALLBACK(Signals::onDestroy), this);
            return;
        }
    }
}

long TrayMouseHook::actionOf(int gdkEventType, unsigned button)
{
    long first;
    switch (button) {
    case 1:
        first = TrayMouse::LeftDown;
        break;
    case 2:
        first = TrayMouse::MiddleDown;
        break;
    case 3:
        first = TrayMouse::RightDown;
        break;
    default:
        return 0;
    }
    // Each button's messages run down, up, double click.
    switch (gdkEventType) {
    case GDK_BUTTON_PRESS:
        return first;
    case GDK_BUTTON_RELEASE:
        return first + 1;
    case GDK_2BUTTON_PRESS:
        return first + 2;
    default:
        return 0;
    }
}

} // namespace orvane
