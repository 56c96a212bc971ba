#pragma once

#include "core/module/ModuleInterfaces.h"
#include "ui/kit/CSkinBitmap.h"
#include "ui/kit/CTextFont.h"

#include <wx/cursor.h>
#include <wx/event.h>
#include <wx/popupwin.h>
#include <wx/region.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <string>

class wxDC;

namespace orvane {

// What a click on a clickable notice sends its owner, queued for the owner's next turn of
// the event loop. Its id is the click message given to CTaskbarNotifier::Create, so the
// owner binds it for that number: `owner.Bind(EVT_NOTIFIER_CLICK, handler, message)`. It
// carries the click parameters as they were when the notice was clicked: the module whose
// notice it was and the window that module passed with it (both null for a notice of the
// program's own). Like a posted message it does not climb to the owner's parents.
class NotifierClickEvent : public wxEvent {
public:
    NotifierClickEvent(int message, IModule* module, WindowHandle window);

    IModule* module() const { return module_; }
    WindowHandle window() const { return window_; }

    wxEvent* Clone() const override { return new NotifierClickEvent(*this); }

private:
    IModule* module_;
    WindowHandle window_;
};

wxDECLARE_EVENT(EVT_NOTIFIER_CLICK, NotifierClickEvent);

// The sliding notice: a small skinned popup that slides out of the desktop's panel edge,
// stays a while and slides back. The edge is where the work area (WorkArea.h) ends short of
// the screen, read at every Show: a panel on the right or left lets the notice slide in
// sideways at the bottom of the work area, one at the top lets it drop down at the right;
// otherwise it rises from the work area's bottom edge at the right.
//
// States, in order: Hidden (not shown), Appearing (sliding out, one step of `step` pixels
// per show interval), Waiting (fully shown for the stay time) and Disappearing (sliding
// back, one step per hide interval), then Hidden again. The intervals are the show and hide
// times divided by the number of steps the notice's extent takes; every timer runs at
// least 1 ms, so a notice without steps or with zero times shows and hides at once.
// Showing again while shown never starts over: while appearing the text changes and the
// slide goes on; while waiting the stay starts afresh; while disappearing the notice jumps
// back to fully shown and stays the whole stay time again (its state staying Disappearing
// until the slide back resumes).
//
// A clickable notice reacts to the mouse: while the pointer is over it the text takes the
// hovered font and colour, the pointer is a hand and the slide back waits; a left click on
// it sends the owner a NotifierClickEvent. A plain notice does none of this.
//
// The window is an undecorated popup of its own, above the other windows, that never takes
// the focus; SetSkin gives it the skin's size and the skin's shape less the key colour.
// The owner given to Create is the window's parent and destroys it; a notice created
// without an owner is destroyed by whoever created it. User-interface thread only.
class CTaskbarNotifier : public wxPopupWindow {
public:
    enum class State { Hidden = 0, Appearing = 1, Waiting = 2, Disappearing = 3 };
    // Which way the notice moves while appearing.
    enum class Direction { Down = 1, Right = 2, Left = 3, Up = 4 };
    // Style bits of SetTitleFont and SetTextFont.
    static constexpr int Bold = 1;
    static constexpr int Italic = 2;
    static constexpr int Underline = 4;
    // A colour component meaning "no key colour" in SetSkin.
    static constexpr int NoKey = 0xFFFF;

    // An object without a window: Create makes the window.
    CTaskbarNotifier();
    ~CTaskbarNotifier() override;

    // Makes the window, hidden, at (0, 0). `owner` (may be null) gets the click events and
    // becomes the window's parent; `clickMessage` is their id (0: clicks send nothing).
    // Answers whether the window was made; a second Create answers false.
    bool Create(wxWindow* owner, int clickMessage);

    // Takes the bitmap registered under the id as the background: the window takes its size
    // and the text rectangle becomes the whole of it. With a key colour (red, green and blue
    // each from 0 to 255) the window's shape becomes the bitmap's pixels of other colours
    // within its first columns up to a multiple of four (a bitmap 143 wide keeps 140); when
    // that leaves nothing (a bitmap narrower than 4) the window stays rectangular. Without a
    // key the shape is left as it was. False, and nothing changes, for an unknown id.
    bool SetSkin(int bitmapId, int red = NoKey, int green = NoKey, int blue = NoKey);
    // The fonts by face name and character height in pixels, with Bold, Italic and
    // Underline bits; the text has one for the normal and one for the hovered look.
    void SetTitleFont(const std::string& face, int size, int style);
    void SetTextFont(const std::string& face, int size, int style, int hoveredStyle);
    void SetTitleColor(ColorRef title, ColorRef shadow);
    // Redraws at once.
    void SetTextColor(ColorRef normal, ColorRef hovered);
    // Client coordinates; right and bottom exclusive.
    void SetTitleRect(int left, int top, int right, int bottom);
    void SetTextRect(int left, int top, int right, int bottom);
    // The title drawn at the top of every notice.
    void SetTitle(const wxString& title);
    // Milliseconds; negative counts as 0. They take effect at the next Show from hidden.
    void SetTimings(int showTime, int stayTime, int hideTime);
    // What the next click sends: the module and its window, or null and null.
    void SetClickParams(IModule* module, WindowHandle window);

    // Shows the notice, or shows it again (see the class comment). A null text keeps the
    // text shown last. The clickable flag is taken every time.
    void Show(const wxString* text, bool clickable);
    void Show(const wxString& text, bool clickable) { Show(&text, clickable); }
    using wxPopupWindow::Show;
    // Stops the slide, hides the window and moves it to (0, 0): the state is Hidden.
    void Hide();

    State GetState() const { return state_; }
    Direction GetDirection() const { return direction_; }
    const wxString& GetText() const { return text_; }
    const wxString& GetTitle() const { return title_; }
    bool IsClickable() const { return clickable_; }
    bool IsHovered() const { return hovered_; }
    int GetShowStepInterval() const { return showStepInterval_; }
    int GetHideStepInterval() const { return hideStepInterval_; }
    // The skin's size, which the window takes while shown (hidden it has none).
    wxSize GetSkinSize() const { return wxSize(width_, height_); }
    const wxRect& GetTitleRect() const { return titleRect_; }
    const wxRect& GetTextRect() const { return textRect_; }
    // The shape cut from the skin in client coordinates; invalid when the window is
    // rectangular.
    const wxRegion& GetShapeRegion() const { return region_; }

    // Draws the whole notice as a paint does, into any context of the window's size.
    void render(wxDC& dc) const;

private:
    static constexpr ColorRef rgb(int red, int green, int blue)
    {
        return static_cast<ColorRef>(red) | static_cast<ColorRef>(green) << 8 | static_cast<ColorRef>(blue) << 16;
    }

    void onPaint(wxPaintEvent& event);
    void onMouseOver(wxMouseEvent& event);
    void onMouseLeave(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);
    void onShowTimer(wxTimerEvent& event);
    void onStayTimer(wxTimerEvent& event);
    void onHideTimer(wxTimerEvent& event);
    void moveToCurrent();
    void setFont(CTextFont& font, const std::string& face, int size, int style);

    wxWeakRef<wxWindow> owner_;
    IModule* clickModule_ = nullptr;
    WindowHandle clickWindow_ = nullptr;
    CTextFont textFont_;
    CTextFont hoveredTextFont_;
    CTextFont titleFont_;
    ColorRef textColor_ = rgb(133, 146, 181);
    ColorRef hoveredTextColor_ = rgb(10, 36, 106);
    ColorRef titleColor_ = rgb(0, 200, 0);
    ColorRef titleShadowColor_ = rgb(200, 200, 200);
    wxCursor handCursor_;
    CSkinBitmap skin_;
    wxRegion region_;
    wxRect textRect_;
    wxRect titleRect_;
    int width_ = 0;
    int height_ = 0;
    wxString title_;
    wxString text_;
    bool hovered_ = false;
    State state_ = State::Hidden;
    int showTime_ = 200;
    int stayTime_ = 5000;
    int hideTime_ = 200;
    int showStepInterval_ = 1;
    int hideStepInterval_ = 1;
    int startX_ = 0;
    int startY_ = 0;
    int currentX_ = 0;
    int currentY_ = 0;
    Direction direction_ = Direction::Up;
    int step_ = 2;
    bool clickable_ = false;
    int clickMessage_ = 0;
    wxTimer showTimer_;
    wxTimer stayTimer_;
    wxTimer hideTimer_;
};

} // namespace orvane
