#pragma once

// Another program's top-level windows as the window manager lists them, read from the X
// server: for tests that run the whole program as a process on their display.

#include <string>
#include <sys/types.h>
#include <vector>

namespace orvane::testing {

using XWindowId = unsigned long;

// The client windows the window manager manages for the process (_NET_CLIENT_LIST with
// _NET_WM_PID), mapped or not.
std::vector<XWindowId> windowsOfProcess(pid_t pid);
// The window's _NET_WM_NAME (UTF-8), else WM_NAME; empty when it has none.
std::string windowTitle(XWindowId window);

enum class WindowShown { Gone, Hidden, Minimised, Shown };
// Hidden: withdrawn or unmapped; Minimised: iconic or _NET_WM_STATE_HIDDEN.
WindowShown windowShown(XWindowId window);

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
};
// The window's client area in root coordinates.
WindowRect windowRect(XWindowId window);
// Whether the window calls itself a dialog (_NET_WM_WINDOW_TYPE), as message boxes do.
bool windowIsDialog(XWindowId window);
// The window that has the window manager's focus (_NET_ACTIVE_WINDOW); 0 for none.
XWindowId activeWindow();
// Whether a pop-up menu is on the screen: a mapped override-redirect window that calls
// itself one (_NET_WM_WINDOW_TYPE_POPUP_MENU), as GTK's menus do.
bool popupMenuShown();
// The managed windows from the bottom of the stack to the top (_NET_CLIENT_LIST_STACKING).
std::vector<XWindowId> stackingOrder();

// Asks the window manager to move the window's frame to (x, y).
void askToMove(XWindowId window, int x, int y);

// Asks the window manager to bring the window up and give it the focus.
void askToActivate(XWindowId window);

// Asks the window manager to close the window, as the caption's close button does.
void askToClose(XWindowId window);

} // namespace orvane::testing
