#pragma once

#include <wx/string.h>

class wxWindow;

namespace orvane {

// The program's message boxes, all through wxMessageBox with the caption "Orvane": tests
// answer them with a wxModalDialogHook, so none is ever left open.
// None: the box shows its text alone.
enum class BoxIcon { Stop, Warning, Information, Question, None };

void showMessage(wxWindow* parent, const wxString& text, BoxIcon icon);
// True when the user answers Yes.
bool askYesNo(wxWindow* parent, const wxString& text);

} // namespace orvane
