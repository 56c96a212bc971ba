#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/control.h>
#include <wx/slider.h>

namespace orvane {

// A trackbar drawn in flat colours: a background, a sunken channel and a raised thumb, each
// edge the thumb colour lightened or darkened by 50. The voice faders derive from it.
//
// It behaves as a trackbar: the arrow keys move one line, Page Up and Page Down a page, Home
// and End to the ends; dragging the thumb follows the mouse and a click beside the thumb
// moves a page toward the click. Each change of position sends the scroll notice of what
// moved it, as a trackbar does (wxEVT_SCROLL_LINEUP/LINEDOWN for the arrows,
// PAGEUP/PAGEDOWN for the page keys and clicks beside the thumb, TOP/BOTTOM for Home and
// End, THUMBTRACK while the thumb is dragged), then wxEVT_SLIDER with the new position. The
// end of each move sends wxEVT_SCROLL_CHANGED, the end-track notice: after a key's move,
// when the button that paged or dragged is released (a drag's release sends THUMBRELEASE
// first), and when a drag loses the mouse. Listeners that only need the outcome of a move
// take the end-track notice. Horizontal by default; wxSL_VERTICAL stands it up with the
// minimum at the top.
// User-interface thread only.
class CFlatSlider : public wxControl {
public:
    static constexpr int ThumbLength = 11;
    static constexpr int ChannelThickness = 4;

    CFlatSlider(wxWindow* parent, wxWindowID id, int value, int minimum, int maximum,
                const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize,
                long style = wxSL_HORIZONTAL);

    // The colours take effect at the next paint.
    void SetBackgroundColor(ColorRef color);
    void SetThumbColors(ColorRef thumb, ColorRef pressedThumb);

    int GetValue() const { return value_; }
    // Clamped into the range; sends no event (the caller knows).
    void SetValue(int value);
    int GetMin() const { return minimum_; }
    int GetMax() const { return maximum_; }
    void SetRange(int minimum, int maximum);
    void SetLineSize(int size) { lineSize_ = size > 0 ? size : 1; }
    void SetPageSize(int size) { pageSize_ = size > 0 ? size : 1; }
    bool isVertical() const { return vertical_; }
    bool isThumbPressed() const { return dragging_; }

    // Where the parts lie in the client area.
    wxRect channelRect() const;
    wxRect thumbRect() const;

    // Draws the whole slider as a paint would, into any context of the client size.
    void render(wxDC& dc) const;

    // The colour arithmetic of the edges: each of red, green and blue moved by `amount`,
    // clamped to 0..255.
    static ColorRef shifted(ColorRef color, int amount);

protected:
    wxSize DoGetBestSize() const override;

private:
    void onPaint(wxPaintEvent& event);
    void onKey(wxKeyEvent& event);
    void onMouseDown(wxMouseEvent& event);
    void onMouseMove(wxMouseEvent& event);
    void onMouseUp(wxMouseEvent& event);
    void onCaptureLost(wxMouseCaptureLostEvent& event);

    // The position under a point along the channel.
    int valueAt(const wxPoint& point) const;
    // Moves to the value (clamped); sends the scroll notice and wxEVT_SLIDER when it changed.
    void moveTo(int value, wxEventType notice);
    void notify(wxEventType notice);
    static void frame(wxDC& dc, const wxRect& rect, ColorRef topLeft, ColorRef bottomRight);

    ColorRef thumb_;
    ColorRef pressedThumb_;
    ColorRef background_;
    int value_;
    int minimum_;
    int maximum_;
    int lineSize_ = 1;
    int pageSize_;
    bool vertical_;
    bool dragging_ = false;
    // A button press that paged: its release ends the move.
    bool paging_ = false;
    // While dragging: how far from the thumb's centre it was taken.
    int grabOffset_ = 0;
};

} // namespace orvane
