#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/settings.h>

class wxColour;

namespace orvane {

class XmlNode;

// wx's colour for a COLORREF (0x00BBGGRR), and back.
wxColour colourOf(ColorRef color);
ColorRef colorRefOf(const wxColour& colour);
// The desktop's colour for one of the system colour roles (button face, button text, ...).
ColorRef systemColor(wxSystemColour role);

// The program's colour scheme: nine colours read once at start-up from the "skin" element of
// config.ini, and the background painters. Module libraries get it as ISkin through their
// host, so their windows match the main program's; the window and device-context handles
// they pass are a wxWindow* and a wxDC*.
//
// Written once on the user-interface thread before any window or module exists, then only
// read, from any thread.
class Skin : public ISkin {
public:
    // Sets all nine colours from the element; a colour it does not name is black.
    void load(const XmlNode& skin);
    // One colour element: its children (or attributes) red, green and blue, each read as a
    // signed decimal and cut to its low 8 bits, so 256 reads as 0 and -1 as 255 and no
    // component spills into the next; a missing one is 0.
    static ColorRef readColor(const XmlNode* element);

    // Fill the window's client area with the background (or light background) colour and
    // leave the context's background colour set to it.
    void paintBackground(WindowHandle window, DeviceContextHandle dc) override;
    void paintBackgroundLight(WindowHandle window, DeviceContextHandle dc) override;

    ColorRef menuSelectionColor() override { return menuSelection_; }
    ColorRef menuBarColor() override { return menuBar_; }
    ColorRef textColor() override { return text_; }
    ColorRef captionTextColor() override { return captionText_; }
    ColorRef backgroundColor() override { return background_; }
    ColorRef backgroundColorLight() override { return backgroundLight_; }
    // No brush is ever made: callers paint with the colours.
    BrushHandle backgroundBrush() override { return nullptr; }
    ColorRef progressBarBackColor() override { return progressBarBack_; }
    ColorRef progressBarColor() override { return progressBar_; }
    // The hover border of the flat edits; not offered to modules.
    virtual ColorRef foregroundColor() { return foreground_; }

private:
    static void fill(WindowHandle window, DeviceContextHandle dc, ColorRef color);

    ColorRef menuSelection_ = 0;
    ColorRef menuBar_ = 0;
    ColorRef text_ = 0;
    ColorRef captionText_ = 0;
    ColorRef background_ = 0;
    ColorRef backgroundLight_ = 0;
    ColorRef foreground_ = 0;
    ColorRef progressBarBack_ = 0;
    ColorRef progressBar_ = 0;
};

} // namespace orvane
