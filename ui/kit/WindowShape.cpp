#include "ui/kit/WindowShape.h"

#include <wx/window.h>

#ifdef __WXGTK3__
#include <dlfcn.h>
#endif

namespace orvane {

#ifdef __WXGTK3__

namespace {

// wx shapes only top-level windows. GTK shapes any widget that has a window of its own, and
// every wx window does; the function comes from the GTK library wx itself loaded, found at
// run time so that the build needs no GTK headers of its own.
using ShapeFunction = void (*)(void* widget, const void* region);

ShapeFunction shapeFunction(const char* name)
{
    return reinterpret_cast<ShapeFunction>(dlsym(RTLD_DEFAULT, name));
}

} // namespace

bool setWindowShape(wxWindow& window, const wxRegion& region)
{
    static const ShapeFunction shape = shapeFunction("gtk_widget_shape_combine_region");
    static const ShapeFunction inputShape = shapeFunction("gtk_widget_input_shape_combine_region");
    void* widget = window.GetHandle();
    if (!shape || !inputShape || !widget)
        return false;
    const void* cairoRegion = region.IsOk() && !region.IsEmpty() ? region.GetRegion() : nullptr;
    shape(widget, cairoRegion);
    inputShape(widget, cairoRegion);
    return true;
}

#else

bool setWindowShape(wxWindow&, const wxRegion&)
{
    return false;
}

#endif

} // namespace orvane
