#pragma once

#include <wx/dialog.h>

namespace orvane {

class CFlatEdit;
class CSkinButton;
class CTextLabel;
class Skin;

// The look and the keys the program's small dialogs share.
//
// Look: the whole client area in the skin's background colour; the dialog font ("MS Sans
// Serif" 8 as the desktop maps it), in whose dialog units the subclasses place their
// controls; skinned buttons from the program's bitmap sets, each shaped by its bitmap; flat
// edits bordered in the skin's light background colour and, under the mouse or with the
// focus, its foreground colour.
//
// Keys and closing: Enter clicks the push button that has the focus, or else the default
// button; Escape and the window's close box run cancel(). A button "click" from the keys is
// the same wxEVT_BUTTON the mouse makes, so each dialog has one handler per button.
//
// The dialog ends through closeWith, which works shown modal or modeless: modal it ends the
// run, modeless it hides the dialog and keeps the code as the return code. Tests show the
// dialogs modeless and drive the same handlers the modal run uses.
//
// The skin outlives the dialog. User-interface thread only.
class CSkinDialog : public wxDialog {
public:
    // The bitmap sets of the buttons (normal, pressed, hover, focus; disabled = normal).
    enum class ButtonSet {
        LargeDefault, // 221 219 220 221
        LargeOther,   // 218 219 220 221
        SmallDefault, // 202 204 203 202
        SmallOther,   // 201 204 203 202
        CheckBox,     // 192 (clear), 179 (ticked)
        Logo,         // 205
    };

    // Ends the dialog with the code (wxID_OK, wxID_CANCEL), modal or modeless.
    void closeWith(int code);

    // Dialog units of the dialog font, in pixels.
    wxSize unitsToPixels(const wxSize& units) const;
    wxRect unitsToPixels(const wxRect& units) const;

    Skin& skin() const { return skin_; }

protected:
    // The caption and the client size in dialog units.
    CSkinDialog(wxWindow* parent, Skin& skin, const wxString& caption, const wxSize& units);

    // Controls placed in dialog units. A label is transparent, in the dialog font; alignment
    // as CTextLabel's (-1 left, 0 centred, 1 right).
    CTextLabel* addLabel(int id, const wxString& text, const wxRect& units, int alignment = -1);
    // `style`: the wxTextCtrl styles (wxTE_PASSWORD, wxTE_RIGHT).
    CFlatEdit* addEdit(int id, const wxRect& units, long style = 0);
    // Sized by its bitmap; `units` is its top left corner.
    CSkinButton* addButton(int id, const wxString& text, const wxPoint& units, ButtonSet set);

    // Enables or disables the field, and shows which: a disabled field greys its text on the
    // skin's light background colour.
    void enableEdit(CFlatEdit& edit, bool enable);

    // The button Enter clicks when no push button has the focus.
    void setDefaultButton(int id) { defaultId_ = id; }

    // Escape and the close box; ends with wxID_CANCEL unless overridden.
    virtual void cancel() { closeWith(wxID_CANCEL); }

private:
    void onPaint(wxPaintEvent& event);
    void onCharHook(wxKeyEvent& event);
    void onClose(wxCloseEvent& event);
    // Sends the click of the button with that id, as the mouse would.
    void clickButton(int id);

    Skin& skin_;
    wxSize baseUnits_;
    int defaultId_ = wxID_NONE;
};

// The version label's text: the template with every "[version]" and every "[build]"
// replaced.
wxString versionLabelText(const wxString& pattern, const wxString& version, const wxString& build);

// What the settings and about boxes show as their maker's notice.
extern const char* const MakerNotice;

} // namespace orvane
