#pragma once

#include <wx/string.h>

class wxWindow;

namespace orvane {

class Skin;

// The program's message boxes, with the caption "Orvane": each a CMessageBox in the skin's
// colours with the picture of its kind. Tests answer them with a wxModalDialogHook, so none
// is ever left open.
// None: the box shows its text alone.
enum class BoxIcon { Stop, Warning, Information, Question, None };

// The skin the boxes wear: the program's, set once its windows are made (null to forget
// it). Without it a box takes the skin of the skinned dialog it is shown over, and with
// neither it is wx's own message box.
void setMessageBoxSkin(Skin* skin);

void showMessage(wxWindow* parent, const wxString& text, BoxIcon icon);
// True when the user answers Yes.
bool askYesNo(wxWindow* parent, const wxString& text);

} // namespace orvane
