#pragma once

#include "core/module/ModuleInterfaces.h"

#include <wx/msgdlg.h>

#include <string>
#include <vector>

class wxCloseEvent;
class wxCommandEvent;
class wxKeyEvent;
class wxPaintEvent;

namespace orvane {

class CSkinButton;

// The program's message box, drawn like its other dialogs: the skin's background and text
// colours, the kind's picture of our own (stop, exclamation, question, information; none
// for wxICON_NONE) at the left of the text, and skinned push buttons: "OK" for wxOK,
// "&Yes" and "&No" for wxYES_NO. GTK's own message dialog shows no picture at all and
// wears the desktop's theme.
//
// It is a wxMessageDialogBase, so a wxModalDialogHook sees its caption, text and style and
// can answer it as it answers wx's own boxes. ShowModal answers wxID_OK, wxID_YES or wxID_NO.
//
// Keys: Enter clicks the focused button, else the first; a button's letter (Y, N), alone
// or with Alt, clicks it; Escape and the close box answer OK in an OK box and No in a
// Yes/No box (the answer that changes nothing).
//
// The pictures and the button faces are the resource bitmaps 240 to 243 and 218 to 221
// (resources/ResourceIds.h): the program and each module library that shows boxes embed
// them in their image sets. The skin, the program's or the one a module gets from its
// host, outlives the box. User-interface thread only.
class CMessageBox : public wxMessageDialogBase {
public:
    CMessageBox(wxWindow* parent, ISkin& skin, const wxString& text, const wxString& caption, long style);

    // The resource id of the picture shown, 0 for none.
    int iconId() const { return iconId_; }
    // Where the picture and the text lie in the client area.
    wxRect iconRect() const { return iconRect_; }
    wxRect textRect() const { return textRect_; }
    // The buttons, left to right.
    const std::vector<CSkinButton*>& buttons() const { return buttons_; }

    // Puts the buttons back in their places: wx's own layout would stretch a lone button
    // over the whole window.
    bool Layout() override;

private:
    void layOut();
    void onPaint(wxPaintEvent& event);
    void onCharHook(wxKeyEvent& event);
    void onClose(wxCloseEvent& event);
    void onButton(wxCommandEvent& event);
    void answer(int code);
    // The answer of Escape and the close box.
    int cancelAnswer() const;

    ISkin& skin_;
    int iconId_ = 0;
    std::vector<wxString> lines_;
    std::vector<CSkinButton*> buttons_;
    std::vector<wxRect> buttonPlaces_;
    wxRect iconRect_;
    wxRect textRect_;
    int lineHeight_ = 0;
};

// The picture of a box style's kind (wxICON_ERROR, wxICON_WARNING, wxICON_QUESTION,
// wxICON_INFORMATION): its resource id, 0 for wxICON_NONE. A style without an icon flag
// shows information, or a question when it asks Yes or No, as wx's own boxes do.
int messageBoxIconId(long style);

} // namespace orvane
