#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/control.h>
#include <wx/textctrl.h>

namespace orvane {

// An edit field with its own colours for the normal and the focused state and a flat border
// of two one-pixel frames that takes the hover colour while the mouse is over the field or
// the field has the focus. It can be made read-only, and carries a tooltip.
//
// The text itself is edited by a borderless native field inside the frames (caret,
// selection, clipboard and input methods stay the desktop's); this window draws the frames
// and gives the inner field the colours of the current state. The inner field has this
// window's id, so its wxEVT_TEXT and wxEVT_TEXT_ENTER reach the parent under that id.
// User-interface thread only.
class CFlatEdit : public wxControl {
public:
    // Room for the two frames on each side.
    static constexpr int FrameWidth = 2;

    // `style` takes the wxTextCtrl styles (wxTE_PASSWORD, wxTE_MULTILINE, ...).
    CFlatEdit(wxWindow* parent, wxWindowID id, const wxString& value = wxEmptyString,
              const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize, long style = 0);

    // Store the colour and draw the border with it at once.
    void SetBorderColor(ColorRef color);
    void SetHoverBorderColor(ColorRef color);
    // The colours of each state; they take effect at once.
    void SetNormalColors(ColorRef text, ColorRef background);
    void SetFocusedColors(ColorRef text, ColorRef background);

    // Not editable: typing, pasting (keyboard, middle button) and the context menu are
    // swallowed; the field can still take the focus and its text be selected and copied.
    void SetEditable(bool editable);
    bool isEditable() const { return editable_; }

    // Shown over the whole field, active from now on.
    void SetTooltipText(const wxString& text);

    wxString GetValue() const { return text_->GetValue(); }
    void SetValue(const wxString& value) { text_->SetValue(value); }
    void ChangeValue(const wxString& value) { text_->ChangeValue(value); }
    void SetMaxLength(unsigned long length) { text_->SetMaxLength(length); }
    void SetFocus() override { text_->SetFocus(); }
    wxTextCtrl& textCtrl() { return *text_; }

    bool isHover() const { return hover_; }
    bool isFocused() const { return focused_; }
    ColorRef borderColorNow() const { return hover_ ? hoverBorder_ : border_; }

    // Draws the frames and the space around the inner field, into any context of the
    // window's size.
    void render(wxDC& dc) const;

protected:
    wxSize DoGetBestSize() const override;

private:
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onFocus(wxFocusEvent& event);
    void onEnter(wxMouseEvent& event);
    void onLeave(wxMouseEvent& event);
    void onSwallowedKey(wxKeyEvent& event);
    void onSwallowedMouse(wxMouseEvent& event);
    void onPaste(wxClipboardTextEvent& event);
    void applyColors();
    void setHover(bool hover);
    // Whether the pointer is over this window, the inner field included.
    bool pointerInside() const;

    wxTextCtrl* text_;
    bool focused_ = false;
    bool editable_ = true;
    bool hover_ = false;
    ColorRef normalText_;
    ColorRef focusedText_;
    ColorRef normalBack_;
    ColorRef focusedBack_;
    ColorRef border_;
    ColorRef hoverBorder_;
};

} // namespace orvane
