#include "ui/DialogUnits.h"

#include "ui/kit/FontFaces.h"

#include <wx/window.h>

namespace orvane {

wxFont DialogUnits::dialogFont()
{
    return wxFont(8, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false, presentFace("MS Sans Serif"));
}

DialogUnits DialogUnits::of(const wxWindow& window)
{
    // The average width of the 52 ASCII letters, rounded, and the font's full height.
    int width = 0;
    int height = 0;
    window.GetTextExtent("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", &width, &height);
    return DialogUnits((width / 26 + 1) / 2, height);
}

} // namespace orvane
