#pragma once

#include <wx/font.h>
#include <wx/gdicmn.h>

class wxWindow;

namespace orvane {

// The dialogs were laid out in dialog units of their font, "MS Sans Serif" 8 (drawn here in
// the face the font table maps it to): a horizontal unit is a quarter of the font's average
// letter width, a vertical unit an eighth of its height. This converts such places and sizes
// to pixels, so that texts keep the room they were given whatever the face measures.
class DialogUnits {
public:
    // The dialogs' font, mapped to an installed face.
    static wxFont dialogFont();

    // The base units of the font a window draws with (measured on that window).
    static DialogUnits of(const wxWindow& window);

    // Base units given directly: the average letter width and the font's height in pixels.
    DialogUnits(int averageWidth, int height) : base_(averageWidth, height) {}

    // Rounded half away from zero, as the original desktop rounds them.
    int toPixelsX(int units) const { return scaled(units, base_.x, 4); }
    int toPixelsY(int units) const { return scaled(units, base_.y, 8); }
    wxSize toPixels(const wxSize& units) const { return wxSize(toPixelsX(units.x), toPixelsY(units.y)); }
    wxPoint toPixels(const wxPoint& units) const { return wxPoint(toPixelsX(units.x), toPixelsY(units.y)); }
    const wxSize& base() const { return base_; }

private:
    static int scaled(int x, int numerator, int denominator)
    {
        const int product = x * numerator;
        return product >= 0 ? (product + denominator / 2) / denominator : -((-product + denominator / 2) / denominator);
    }

    wxSize base_;
};

} // namespace orvane
