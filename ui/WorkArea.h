#pragma once

#include <wx/gdicmn.h>

namespace orvane {

// The screen and the part of it that ordinary windows may cover: the screen less what the
// desktop's panels reserve. On X the window manager publishes it on the root window
// (_NET_WORKAREA, one rectangle per virtual desktop; the current desktop's counts); it is
// read afresh on every call, so a panel that moves or appears is seen at the next call.
// Without a window manager that tells, or with a rectangle that does not lie on the
// screen, the work area is the whole screen. Elsewhere GDK's work area of the primary
// monitor stands in.
//
// The work area is always within the screen: a published rectangle reaching beyond it is
// cut to it. User-interface thread only (it asks the display of the toolkit).
struct WorkArea {
    wxRect screen;
    wxRect work;

    static WorkArea current();
};

} // namespace orvane
