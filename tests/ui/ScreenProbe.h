#pragma once

// Reading back what the display really shows, for the tests where the paint path of a shown
// window matters (a window drawn over its parent's picture), and waiting for it to show.

#include "core/module/ModuleInterfaces.h"

#include <wx/gdicmn.h>
#include <wx/image.h>

#include <chrono>
#include <functional>

namespace orvane::testing {

// The screen's pixels in the area (screen coordinates), read from the X server, cut to the
// part of the area that lies on the screen; an invalid image when none of it does or they
// cannot be read.
wxImage screenImage(const wxRect& area);

// The size of the root window (the whole screen); empty when there is no display.
wxSize screenSize();

// Runs the event loop until the condition holds or the limit passes; answers whether it held.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(5));

} // namespace orvane::testing
