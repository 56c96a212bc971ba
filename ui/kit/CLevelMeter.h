#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/window.h>

#include <cstdint>

namespace orvane {

// A bar of cells showing a position within a 64-bit range, like the level lights of a
// sound desk: the cells up to the position are lit, the rest unlit. Horizontal bars fill
// from the left, vertical ones from the bottom. The cells are laid out from the client size
// on every paint: `margin` pixels from the edges, `cellSize` pixels long with `gap` pixels
// between them, and the pixels left over split around the run.
//
// The position is always within the range. An empty range (low equal to high) shows every
// cell unlit. Layout and colour setters take effect at the next paint; the range and
// position setters and SetLcdColors redraw at once.
//
// User-interface thread only.
class CLevelMeter : public wxWindow {
public:
    CLevelMeter(wxWindow* parent, wxWindowID id, const wxPoint& position = wxDefaultPosition,
                const wxSize& size = wxDefaultSize);

    // The ends in either order; the position moves to the low end.
    void SetRange64(int64_t low, int64_t high);
    // Clamped into the range. The same value again does nothing.
    void SetPos64(int64_t value);
    int64_t GetLow() const { return low_; }
    int64_t GetHigh() const { return high_; }
    int64_t GetPos() const { return position_; }
    // A grey-green liquid-crystal look.
    void SetLcdColors();

    void SetBackgroundColor(ColorRef color) { background_ = color; }
    void SetLitColor(ColorRef color) { lit_ = color; }
    void SetUnlitColor(ColorRef color) { unlit_ = color; }
    void SetMargin(int margin) { margin_ = margin; }
    void SetGap(int gap) { gap_ = gap; }
    void SetCellSize(int size) { cellSize_ = size; }
    // Cells from bottom to top instead of left to right.
    void SetVertical(bool vertical) { vertical_ = vertical; }

    // Invalidates the whole meter and repaints it now.
    void Redraw();

    // The layout for the present client size: how many cells fit, and where cell k (0 is
    // the one at the low end) lies.
    int cellCount() const;
    wxRect cellRect(int k) const;
    bool isLit(int k) const;

    // Where `position` lies in the range, in whole percent rounded down; -1 for an empty
    // range. Exact over the whole 64-bit span, whatever the ends. The position must lie in
    // the range.
    static int percentOf(int64_t position, int64_t low, int64_t high);

    // Draws the whole meter as a paint would, into any context of the client size.
    void render(wxDC& dc) const;

protected:
    wxSize DoGetBestSize() const override;

private:
    void onPaint(wxPaintEvent& event);
    // Pixels along the bar.
    int length() const;

    ColorRef background_ = 0x000000;
    ColorRef lit_ = 0x00ff00;
    ColorRef unlit_ = 0x008000;
    int margin_ = 2;
    int gap_ = 1;
    int cellSize_ = 4;
    int64_t low_ = 0;
    int64_t high_ = 100;
    int64_t position_ = 0;
    bool vertical_ = false;
};

} // namespace orvane
