#pragma once

// A real system tray for the tray icon's tests: trayer, an XEmbed notification area, run on
// the test's display, and what the X server and GTK say is docked in it.

#include "tests/support/PeerProcess.h"

#include <wx/gdicmn.h>

#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace orvane::testing {

class TrayHost {
public:
    TrayHost();
    // Stops the tray when it runs.
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    // Starts the tray and waits until it owns the screen's tray selection; false (and a test
    // failure naming what went wrong) when it does not.
    bool start();
    // Stops the tray and waits until the selection has no owner.
    void stop();

    // The windows docked in this tray: the XEmbed clients inside the tray's own windows.
    std::vector<unsigned long> dockedWindows();
    // Where a window lies on the screen.
    wxRect screenRect(unsigned long window);
    // Whether the X server has the pointer inside the window now.
    bool pointerWithin(unsigned long window);

private:
    unsigned long selectionOwner();

    Display* display_;
    unsigned long selection_;
    PeerProcess process_;
};

// A status icon of this process as GTK holds it: its X window and its tooltip.
struct StatusIconWindow {
    unsigned long window;
    std::string tooltip;
};
std::vector<StatusIconWindow> statusIconWindows();

} // namespace orvane::testing
