#pragma once

#include "ui/CPersistSDIFrame.h"

namespace orvane {

// The main frame's base: a CPersistSDIFrame that carries the program's menu bar (MainMenu) in
// the skin's look. GTK draws the bar, its popups and their hot tracking itself; the style
// sheet (MenuStyle) that gives them the skin's colours is put on the screen at start-up, so
// the frame has nothing more to do for its menus.
//
// User-interface thread only.
class CNewPersistSDIFrame : public CPersistSDIFrame {
public:
    CNewPersistSDIFrame(wxConfigBase& profile, wxWindow* parent, wxWindowID id, const wxString& title,
                        const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize,
                        long style = wxDEFAULT_FRAME_STYLE, const wxString& name = wxASCII_STR(wxFrameNameStr));
};

} // namespace orvane
