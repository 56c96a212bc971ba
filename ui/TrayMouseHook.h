#pragma once

#include <functional>

typedef struct _GtkWidget GtkWidget;

namespace orvane {

// The mouse buttons over the status icon that wxTaskBarIcon shows. wx reports only the
// presses GTK turns into "activate" and "popup-menu"; the program also acts on releases, so
// this watches the icon's own window (the XEmbed plug GTK docks into the tray) for every
// press, double press and release of the left, middle and right buttons. It only looks:
// GTK and wx still get each event.
//
// User-interface thread only.
class TrayMouseHook {
public:
    // Called with the TrayMouse action (CSystemTray.h) of each button event.
    using Handler = std::function<void(long action)>;

    explicit TrayMouseHook(Handler handler);
    ~TrayMouseHook();
    TrayMouseHook(const TrayMouseHook&) = delete;
    TrayMouseHook& operator=(const TrayMouseHook&) = delete;

    // Runs `show`, which may make the status icon, and watches the icon window that appeared
    // during it, unless one is watched already. An icon window that goes away (the icon
    // removed) is let go by itself.
    void watchWhile(const std::function<void()>& show);

    bool isWatching() const { return plug_ != nullptr; }

    // The TrayMouse action of a GDK button event (its type and button), or 0 for those the
    // program has no message for.
    static long actionOf(int gdkEventType, unsigned button);

private:
    // The GTK signal handlers, with GTK's own types (TrayMouseHook.cpp).
    struct Signals;
    friend struct Signals;

    Handler handler_;
    GtkWidget* plug_ = nullptr;
};

} // namespace orvane
