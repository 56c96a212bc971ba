#pragma once

#include "ui/kit/CIconButton.h"
#include "ui/kit/DibImage.h"

namespace orvane {

// A CIconButton whose background is a shaded picture built for its size: the normal picture
// while it is not hot, a brighter copy while it is (moved one pixel right and down while
// pressed). Until SetShade builds them it is drawn as a plain CIconButton.
//
// The pictures are 8-bit palette images. The palette runs from black through the button face
// colour (index 192) to white, tinted toward the colouring colour; each kind of shading picks
// palette indices across the button:
//   1 VerticalShade    light at the top, darker toward the bottom
//   2 HorizontalShade  light at the left, darker toward the right
//   3 DiagonalShade    light at the top-left corner, darker toward the bottom-right
//   4 HorizontalBump   a light band along the middle, darker toward top and bottom
//   5 VerticalBump     a light band down the middle, darker toward left and right
//   6 Noise            the face colour, grained
// The kinds 7 to 11 (and any other number) build VerticalShade. User-interface thread only.
class CGradientButton : public CIconButton {
public:
    enum Shade {
        VerticalShade = 1,
        HorizontalShade = 2,
        DiagonalShade = 3,
        HorizontalBump = 4,
        VerticalBump = 5,
        Noise = 6,
    };

    CGradientButton(wxWindow* parent, wxWindowID id, const wxString& label,
                    const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize,
                    long style = 0);

    // Builds the pictures for the button's current size (and again whenever it changes).
    // `granularity`: how far (in palette steps, 0 to 64) a pixel's shade strays at random,
    // the same way every time. `highlight`: how far the hot picture is moved toward white, in
    // percent. `coloring`: how far the palette is moved toward `color`, in percent.
    void SetShade(int kind, int granularity = 0, int highlight = 20, int coloring = 0, ColorRef color = 0);

    const DibImage& normalPicture() const { return normal_; }
    const DibImage& hotPicture() const { return hot_; }

protected:
    void OnDrawBackground(wxDC& dc, wxRect& rect) override;

private:
    void build();

    bool shaded_ = false;
    int kind_ = VerticalShade;
    int granularity_ = 0;
    int highlight_ = 0;
    int coloring_ = 0;
    ColorRef color_ = 0;
    DibImage normal_;
    DibImage hot_;
};

} // namespace orvane
