#include "ui/kit/CFlatEdit.h"

#include "ui/kit/Skin.h"

#include <wx/dcbuffer.h>
#include <wx/tooltip.h>

namespace orvane {

CFlatEdit::CFlatEdit(wxWindow* parent, wxWindowID id, const wxString& value, const wxPoint& position,
                     const wxSize& size, long style)
    : wxControl(parent, id, position, size, wxBORDER_NONE),
      normalText_(systemColor(wxSYS_COLOUR_WINDOWTEXT)),
      focusedText_(normalText_),
      normalBack_(systemColor(wxSYS_COLOUR_WINDOW)),
      focusedBack_(normalBack_),
      border_(systemColor(wxSYS_COLOUR_WINDOWFRAME)),
      hoverBorder_(border_)
{
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    text_ = new wxTextCtrl(this, GetId(), value, wxPoint(FrameWidth, FrameWidth), wxDefaultSize,
                           (style & ~wxBORDER_MASK) | wxBORDER_NONE);
    applyColors();
    SetInitialSize(size);

    Bind(wxEVT_PAINT, &CFlatEdit::onPaint, this);
    Bind(wxEVT_SIZE, &CFlatEdit::onSize, this);
    text_->Bind(wxEVT_SET_FOCUS, &CFlatEdit::onFocus, this);
    text_->Bind(wxEVT_KILL_FOCUS, &CFlatEdit::onFocus, this);
    // The pointer can enter the frames or the inner field directly; both count as over.
    for (wxWindow* window : {static_cast<wxWindow*>(this), static_cast<wxWindow*>(text_)}) {
        window->Bind(wxEVT_ENTER_WINDOW, &CFlatEdit::onEnter, this);
        window->Bind(wxEVT_LEAVE_WINDOW, &CFlatEdit::onLeave, this);
    }
    text_->Bind(wxEVT_KEY_DOWN, &CFlatEdit::onSwallowedKey, this);
    text_->Bind(wxEVT_CHAR, &CFlatEdit::onSwallowedKey, this);
    text_->Bind(wxEVT_RIGHT_DOWN, &CFlatEdit::onSwallowedMouse, this);
    text_->Bind(wxEVT_RIGHT_UP, &CFlatEdit::onSwallowedMouse, this);
    text_->Bind(wxEVT_MIDDLE_DOWN, &CFlatEdit::onSwallowedMouse, this);
    text_->Bind(wxEVT_MIDDLE_UP, &CFlatEdit::onSwallowedMouse, this);
    text_->Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& event) {
        if (editable_)
            event.Skip();
    });
    text_->Bind(wxEVT_TEXT_PASTE, &CFlatEdit::onPaste, this);
}

wxSize CFlatEdit::DoGetBestSize() const
{
    const wxSize inner = text_->GetBestSize();
    return wxSize(inner.GetWidth() + 2 * FrameWidth, inner.GetHeight() + 2 * FrameWidth);
}

void CFlatEdit::SetBorderColor(ColorRef color)
{
    border_ = color;
    Refresh();
    Update();
}

void CFlatEdit::SetHoverBorderColor(ColorRef color)
{
    hoverBorder_ = color;
    Refresh();
    Update();
}

void CFlatEdit::SetNormalColors(ColorRef text, ColorRef background)
{
    normalText_ = text;
    normalBack_ = background;
    applyColors();
}

void CFlatEdit::SetFocusedColors(ColorRef text, ColorRef background)
{
    focusedText_ = text;
    focusedBack_ = background;
    applyColors();
}

void CFlatEdit::SetEditable(bool editable)
{
    editable_ = editable;
    text_->SetEditable(editable);
}

void CFlatEdit::SetTooltipText(const wxString& text)
{
    // GTK wraps tips at its own width; there is no maximum to set.
    wxToolTip::Enable(true);
    // The inner field takes the whole window but its frames; both show the tip.
    SetToolTip(text);
    text_->SetToolTip(text);
}

void CFlatEdit::applyColors()
{
    const ColorRef back = focused_ ? focusedBack_ : normalBack_;
    text_->SetForegroundColour(colourOf(focused_ ? focusedText_ : normalText_));
    text_->SetBackgroundColour(colourOf(back));
    text_->Refresh();
    Refresh();
}

void CFlatEdit::render(wxDC& dc) const
{
    const wxSize size = GetSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colourOf(focused_ ? focusedBack_ : normalBack_)));
    dc.DrawRectangle(0, 0, size.GetWidth(), size.GetHeight());
    // The outer frame and the one inside it, each as four one-pixel fills.
    dc.SetBrush(wxBrush(colourOf(borderColorNow())));
    for (int inset = 0; inset < FrameWidth; ++inset) {
        const int width = size.GetWidth() - 2 * inset;
        const int height = size.GetHeight() - 2 * inset;
        if (width <= 0 || height <= 0)
            break;
        dc.DrawRectangle(inset, inset, width, 1);
        dc.DrawRectangle(inset, inset + height - 1, width, 1);
        dc.DrawRectangle(inset, inset, 1, height);
        dc.DrawRectangle(inset + width - 1, inset, 1, height);
    }
}

void CFlatEdit::onPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    render(dc);
}

void CFlatEdit::onSize(wxSizeEvent& event)
{
    const wxSize size = GetClientSize();
    text_->SetSize(FrameWidth, FrameWidth, std::max(0, size.GetWidth() - 2 * FrameWidth),
                   std::max(0, size.GetHeight() - 2 * FrameWidth));
    Refresh();
    event.Skip();
}

void CFlatEdit::onFocus(wxFocusEvent& event)
{
    focused_ = event.GetEventType() == wxEVT_SET_FOCUS;
    // Focus lights the border as hover does, and it stays lit until the focus goes, wherever
    // the pointer is; once it goes, the pointer decides.
    hover_ = focused_ || pointerInside();
    applyColors();
    event.Skip();
}

bool CFlatEdit::pointerInside() const
{
    return GetScreenRect().Contains(wxGetMousePosition());
}

void CFlatEdit::setHover(bool hover)
{
    if (hover == hover_)
        return;
    hover_ = hover;
    Refresh();
    Update();
}

void CFlatEdit::onEnter(wxMouseEvent& event)
{
    if (!focused_)
        setHover(true);
    event.Skip();
}

void CFlatEdit::onLeave(wxMouseEvent& event)
{
    // Leaving the frames for the inner field (or back) is not leaving the edit.
    if (!focused_ && !pointerInside())
        setHover(false);
    event.Skip();
}

void CFlatEdit::onSwallowedKey(wxKeyEvent& event)
{
    // Tab still moves between the fields of a dialog.
    if (editable_ || event.GetKeyCode() == WXK_TAB)
        event.Skip();
}

void CFlatEdit::onSwallowedMouse(wxMouseEvent& event)
{
    if (editable_)
        event.Skip();
}

void CFlatEdit::onPaste(wxClipboardTextEvent& event)
{
    if (editable_)
        event.Skip();
}

} // namespace orvane
