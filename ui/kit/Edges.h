#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/gdicmn.h>

class wxDC;

namespace orvane {

// The edges and frames the owner-drawn buttons paint, as one-pixel fills so that every
// back-end puts them on the same pixels (a drawn line's end points differ between them).

// Fills the rectangle with the colour, nothing else.
void fillSolidRect(wxDC& dc, const wxRect& rect, ColorRef color);

// A one-pixel frame just inside the rectangle: the top and left lines in `topLeft`, the right
// and bottom lines in `bottomRight`; the top-right and bottom-left corner pixels belong to
// the right and bottom lines.
void draw3dRect(wxDC& dc, const wxRect& rect, ColorRef topLeft, ColorRef bottomRight);

// The two-pixel edge of a raised or sunken panel in the system colours, just inside the
// rectangle. Raised: outer light / dark shadow, inner highlight / shadow. Sunken: outer
// shadow / highlight, inner dark shadow / light.
void drawEdge(wxDC& dc, const wxRect& rect, bool sunken);

// A dotted frame just inside the rectangle, every other pixel in the colour, starting with
// the top-left corner.
void drawFocusRect(wxDC& dc, const wxRect& rect, ColorRef color);

} // namespace orvane
