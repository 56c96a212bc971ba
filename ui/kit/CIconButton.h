#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/weakref.h>

#include <memory>
#include <string>

class wxMenu;
class wxToolTip;

namespace orvane {

// A flat button with an optional bitmap beside its caption, six colours, hover tracking, a
// tooltip, and optionally a link or a popup menu. The action bar's module buttons are these.
//
// Flat (the default) it has no 3D border: while the mouse is over it, it is "hot" (drawn in
// the hot colours with a raised one-pixel border), and pressed it shows a sunken one. Not
// flat, it is drawn as a classic push button. Created with CheckBoxStyle it is a check box
// that toggles on each click.
//
// A click — the left button going down on the button and coming up over it, or the space
// bar — first does the button's own part (focus, toggle, menu or link), then sends
// wxEVT_BUTTON with the button's id (the check state as its int in check-box mode).
//
// Drawing goes through virtual steps, in this order: DrawItem calls OnDrawBackground,
// OnDrawBorder, DrawTheIcon, DrawTheBitmap and DrawTheText, then draws the focus rectangle.
// User-interface thread only.
class CIconButton : public wxControl {
public:
    // What the operations answer.
    enum Result : int {
        Ok = 0,
        BadBitmap = 1,     // a bitmap's size could not be read (unknown resource id)
        MaskFailed = 2,    // no mask could be made for a bitmap
        BadColorIndex = 3, // colour index outside 0..5
        BadStyle = 6,      // pressed-offset style other than 0 or 1
    };
    // SetBitmaps' "bitmap out": a grey or a darker copy of "bitmap in".
    static constexpr int GreyCopy = -2;
    static constexpr int DarkerCopy = -3;
    // The six colours.
    enum ColorIndex {
        HotBackground = 0,
        HotText = 1,
        NormalBackground = 2,
        NormalText = 3,
        FocusBackground = 4,
        FocusText = 5,
    };
    enum Alignment { ImageLeft = 0, ImageTop = 1, ImageRight = 2 };
    // Window styles.
    static constexpr long CheckBoxStyle = 0x0010;
    static constexpr long DefaultButtonStyle = 0x0020;

    CIconButton(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& position = wxDefaultPosition,
                const wxSize& size = wxDefaultSize, long style = 0);
    ~CIconButton() override;

    // Resource ids of the picture shown while hot or pressed ("in") and otherwise ("out"),
    // each with the key colour left out of it. Out 0 means none (the in picture is shown
    // always), GreyCopy and DarkerCopy make it from the in picture, keeping its key colour.
    // In 0 clears both.
    int SetBitmaps(int bitmapIn, ColorRef keyIn, int bitmapOut = 0, ColorRef keyOut = 0);
    // The automatic pictures, pixel by pixel; pixels of the key colour stay as they are.
    // Grey: the luminance 0.299 R + 0.587 G + 0.114 B (cut to an integer) in all three
    // channels. Darker: each channel v becomes v - v x 0.25, cut to an integer.
    static wxBitmap greyCopy(const wxBitmap& bitmap, ColorRef key);
    static wxBitmap darkerCopy(const wxBitmap& bitmap, ColorRef key);

    // Style 0: image and caption move by (1, 1) while pressed; 1: by (0, 2). Others: BadStyle.
    int SetPressedOffset(int style, bool redraw = true);
    wxPoint pressedOffset() const { return pressedOffset_; }
    int SetColor(int index, ColorRef color, bool redraw = true);
    // Answers 0 for an index outside 0..5.
    ColorRef GetColor(int index) const;
    // Backgrounds the button face, texts the button text colour.
    int SetDefaultColors(bool redraw = true);

    // Only in check-box mode: 1 and 2 check, anything else unchecks.
    int SetCheck(int checked, bool redraw = true);
    int GetCheck() const { return checked_ ? 1 : 0; }

    // Sets the tooltip's text (the tooltip is made on first use, at most 400 pixels wide) and
    // shows or hides it.
    int SetTooltipText(const wxString& text, bool activate = true);
    // Asks for a balloon tooltip; counts only before the tooltip is made, and only where the
    // platform has balloons.
    void SetTooltipBalloon(bool balloon) { balloon_ = balloon; }
    bool tooltipBalloon() const { return balloon_; }

    // The link opened on a click when there is no menu; empty for none.
    int SetURL(const std::string& url);
    const std::string& url() const { return url_; }

    // The menu whose first submenu opens below the button on a click; the chosen command goes
    // to `receiver` as wxEVT_MENU with its id. NULL removes it.
    void SetMenu(std::unique_ptr<wxMenu> menu, wxWindow* receiver);

    void SetFlat(bool flat, bool redraw = true);
    bool isFlat() const { return flat_; }
    void SetAlign(Alignment alignment, bool redraw = true);
    void SetDrawBorder(bool drawBorder, bool redraw = true);
    void SetFlatFocus(bool flatFocus, bool redraw = true);
    // Off: the button turns hot only while a window of the program is active.
    void SetTrackWhenInactive(bool track) { trackWhenInactive_ = track; }
    // The default button of its window: a black frame when not flat.
    void SetDefaultButton(bool isDefault, bool redraw = true);
    bool isDefaultButton() const { return default_; }
    // On: the parent's picture under the button is its background (see backgroundPicture).
    void SetTransparentBackground(bool transparent, bool redraw = true);

    bool isCheckBox() const { return checkBox_; }
    bool isHot() const { return hot_; }
    bool isFocused() const { return focused_; }
    // Drawn pressed: held with the mouse over it, checked in check-box mode, or while its menu
    // is open.
    bool isPressed() const;

    // Draws the whole button as a paint would, into any context of the client size.
    void render(wxDC& dc);

    bool Enable(bool enable = true) override;

protected:
    virtual void DrawItem(wxDC& dc);
    // Fills the background; may shrink `rect` for what is drawn after it.
    virtual void OnDrawBackground(wxDC& dc, wxRect& rect);
    virtual void OnDrawBorder(wxDC& dc, wxRect& rect);
    virtual void DrawTheIcon(wxDC& dc, const wxRect& rect, const wxRect& imageRect);
    virtual void DrawTheBitmap(wxDC& dc, const wxRect& rect, const wxRect& imageRect);
    virtual void DrawTheText(wxDC& dc, const wxRect& textRect);

    // Shows the menu at the point (client coordinates) and answers the chosen command, or
    // wxID_NONE. The seam where tests stand in for the person choosing.
    virtual int TrackMenu(wxMenu& menu, const wxPoint& at);
    // Whether a window of the program is active (for tracking the hover only then).
    virtual bool isProgramActive() const;
    // What the transparent background shows: the parent's background under the button.
    virtual wxBitmap backgroundPicture() const;

    wxSize DoGetBestSize() const override;

private:
    struct Picture {
        wxBitmap bitmap;
        ColorRef key = 0;
    };

    void onPaint(wxPaintEvent& event);
    void onLeftDown(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onLeave(wxMouseEvent& event);
    void onSetFocus(wxFocusEvent& event);
    void onKillFocus(wxFocusEvent& event);
    void onCaptureLost(wxMouseCaptureLostEvent& event);
    void onKeyDown(wxKeyEvent& event);
    void onActivate(wxActivateEvent& event);
    void onSysColourChanged(wxSysColourChangedEvent& event);

    void refreshIf(bool redraw);
    void endHover();
    void endCapture();
    void click();
    void showMenu();
    // Where the image and the caption go in the rectangle.
    void layout(const wxRect& rect, wxRect& imageRect, wxRect& textRect) const;
    wxSize imageSize() const;
    // The picture for the current state, NULL when there is none.
    const Picture* currentPicture() const;

    bool flat_ = true;
    bool hot_ = false;
    bool trackWhenInactive_ = true;
    wxPoint pressedOffset_{1, 1};
    wxSize gap_{3, 3};
    Alignment alignment_ = ImageLeft;
    bool drawBorder_ = true;
    bool flatFocus_ = false;
    bool default_;
    bool checkBox_;
    bool checked_ = false;
    ColorRef colors_[6];
    bool transparent_ = false;
    // The copy of the parent's picture, made once when first needed.
    wxBitmap backgroundCopy_;
    Picture in_;
    Picture out_;
    std::unique_ptr<wxMenu> menu_;
    // Weak: the receiver may go before the button.
    wxWeakRef<wxWindow> menuReceiver_;
    bool menuShown_ = false;
    std::string url_;
    bool balloon_ = false;
    bool tooltipMade_ = false;
    bool captured_ = false;
    // While captured: whether the mouse is over the button.
    bool pushed_ = false;
    bool focused_ = false;
    // The top-level window whose deactivation ends the hover.
    wxWindow* topLevel_ = nullptr;
};

} // namespace orvane
