#pragma once

#include "core/module/ModuleInterfaces.h"
#include "ui/kit/CSkinBitmap.h"

#include <wx/control.h>
#include <wx/radiobut.h>
#include <wx/region.h>

namespace orvane {

// A button drawn entirely from bitmaps: one each for normal, pressed, hover, disabled and
// focused, with an optional window shape cut from the normal bitmap, optional 3D edges and a
// caption centred on one line. The dialogs and the call bar use it for OK, Cancel, Talk and
// Hang-up.
//
// Three kinds: a push button, a check box that toggles on each click, and a radio button that
// a click checks and that unchecks the other radio buttons of its group. A group is a run of
// sibling CSkinButtons that starts at one created with the GroupStart style and ends before
// the next one with it (siblings of other classes neither end a group nor take part); when
// no earlier sibling carries the style, the group starts at the first sibling.
//
// A click — the left button going down on the button and coming up over it — sends
// wxEVT_BUTTON with the button's id (and, for the check kinds, the new check state as the
// event's int); the space bar acts as a click. User-interface thread only.
class CSkinButton : public wxControl {
public:
    enum Kind { PushButton = 0, CheckBox = 2, RadioButton = 4 };
    // Window style: this radio button starts a new group.
    static constexpr long GroupStart = wxRB_GROUP;
    // The colour left out of the bitmaps and cut from the window shape.
    static constexpr ColorRef KeyColor = 0xFF00FF;

    CSkinButton(wxWindow* parent, wxWindowID id, const wxString& label, Kind kind = PushButton,
                const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize, long style = 0);
    // Gives the mouse back when it goes while held.
    ~CSkinButton() override;

    // Resource ids, 0 for none; a missing disabled bitmap takes the normal one. `edges`: draw
    // 3D edges round the bitmap. `textOffset` (below 0 counts as 0): the caption is inset by it
    // plus 2 pixels left and right, and the focus rectangle (drawn only when it is above 0) by
    // it alone.
    // With `regionOn` and a normal bitmap the window takes the shape of the normal bitmap's
    // pixels that are not KeyColor: region mode 0 at the bitmap's own size, mode 1 with the
    // bitmap's shape stretched to the window's current size; the window is resized to that
    // size, its position kept. Any other mode, or `regionOn` false, leaves it rectangular.
    void SetBitmaps(int normal, int pressed, int hover, int disabled, int focus, bool regionOn, bool edges,
                    int textOffset, int regionMode = 0);

    // Push buttons stay unchecked. A radio button that becomes checked unchecks the other
    // radio buttons of its group.
    void SetCheck(bool checked);
    bool GetCheck() const { return checked_; }
    Kind kind() const { return kind_; }

    void SetTextColor(ColorRef color);
    ColorRef textColor() const { return textColor_; }

    // The window's shape in client coordinates; an invalid region when it is rectangular.
    const wxRegion& windowRegion() const { return region_; }
    // Whether the point (client coordinates) lies on the button: inside the client area and,
    // when shaped, inside the shape.
    bool isOver(const wxPoint& point) const;

    bool isHover() const { return hover_; }
    // The left button went down on it and has not come up yet.
    bool isCaptured() const { return captured_; }
    // Drawn pushed in: captured with the mouse over it.
    bool isPushed() const { return captured_ && pushed_; }
    bool isFocused() const { return focused_; }

    // Draws the whole button as a paint would, into any context of the client size.
    void render(wxDC& dc) const;

protected:
    wxSize DoGetBestSize() const override;

private:
    void onPaint(wxPaintEvent& event);
    void onLeftDown(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onLeave(wxMouseEvent& event);
    void onSetFocus(wxFocusEvent& event);
    void onKillFocus(wxFocusEvent& event);
    void onCaptureLost(wxMouseCaptureLostEvent& event);
    void onKeyDown(wxKeyEvent& event);

    // What a click does to the check state, then the notice.
    void click();
    void endCapture();
    // The other radio buttons of this one's group lose their check.
    void uncheckGroup();
    void drawCaption(wxDC& dc, const wxRect& area, ColorRef color) const;

    bool checked_ = false;
    Kind kind_;
    bool hover_ = false;
    bool captured_ = false;
    // While captured: whether the mouse is over the button.
    bool pushed_ = false;
    bool focused_ = false;
    CSkinBitmap normalBitmap_;
    CSkinBitmap pressedBitmap_;
    CSkinBitmap hoverBitmap_;
    CSkinBitmap disabledBitmap_;
    CSkinBitmap focusBitmap_;
    // The normal bitmap's shape: white where the key colour was.
    CSkinBitmap maskBitmap_;
    int textOffset_ = 0;
    wxRegion region_;
    bool edges_ = false;
    ColorRef textColor_;
};

} // namespace orvane
