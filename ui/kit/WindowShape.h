#pragma once

#include <wx/region.h>

class wxWindow;

namespace orvane {

// Cuts a child window to a shape: outside the region the window neither draws nor takes the
// mouse, and what lies under it shows through. An empty (or invalid) region makes the window
// rectangular again. Answers whether the toolkit applied it; where it cannot, the window
// stays rectangular and its owner still knows the shape for its own hit tests.
// User-interface thread only.
bool setWindowShape(wxWindow& window, const wxRegion& region);

} // namespace orvane
