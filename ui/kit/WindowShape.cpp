#include "ui/kit/WindowShape.h"

#include <wx/window.h>

#ifdef __WXGTK3__
#include <gtk/gtk.h>
#endif

namespace orvane {

#ifdef __WXGTK3__

// wx shapes only top-level windows; GTK shapes any widget that has a window of its own, and
// every wx window does. Both the picture and the input are cut, so clicks on a cut-away part
// reach the window behind.
bool setWindowShape(wxWindow& window, const wxRegion& region)
{
    auto* widget = static_cast<GtkWidget*>(window.GetHandle());
    if (!widget)
        return false;
    const cairo_region_t* cut = region.IsOk() && !region.IsEmpty() ? region.GetRegion() : nullptr;
    gtk_widget_shape_combine_region(widget, const_cast<cairo_region_t*>(cut));
    gtk_widget_input_shape_combine_region(widget, const_cast<cairo_region_t*>(cut));
    return true;
}

#else

bool setWindowShape(wxWindow&, const wxRegion&)
{
    return false;
}

#endif

} // namespace orvane
