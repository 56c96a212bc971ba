// orvane-screenshot FILE: saves the whole screen of $DISPLAY as a PNG, as the X server
// shows it. For looking at a program running on a virtual display.

#include "tests/ui/ScreenProbe.h"

#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane-screenshot FILE.png\n");
        return 2;
    }
    wxInitializer wx;
    if (!wx.IsOk())
        return 1;
    wxImage::AddHandler(new wxPNGHandler);
    const wxImage screen = orvane::testing::screenImage(wxRect(wxPoint(0, 0), orvane::testing::screenSize()));
    if (!screen.IsOk() || !screen.SaveFile(argv[1], wxBITMAP_TYPE_PNG)) {
        std::fprintf(stderr, "orvane-screenshot: cannot read the screen or write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
