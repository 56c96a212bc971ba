#pragma once

// Answers the program's message boxes while it exists and keeps what they said; every other
// modal dialog runs as usual, so a test can drive a dialog of the program modally and see
// the boxes that dialog shows.

#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

#include <vector>

namespace orvane::testing {

class MessageBoxAnswers : public wxModalDialogHook {
public:
    struct Box {
        wxString caption;
        wxString text;
        long style;
    };

    explicit MessageBoxAnswers(int answer = wxID_OK) : answer_(answer) { Register(); }
    ~MessageBoxAnswers() override { Unregister(); }

    std::vector<Box> shown;

protected:
    int Enter(wxDialog* dialog) override
    {
        const auto* box = dynamic_cast<wxMessageDialogBase*>(dialog);
        if (!box)
            return wxID_NONE;
        shown.push_back(Box{box->GetCaption(), box->GetMessage(), box->GetMessageDialogStyle()});
        return answer_;
    }
    void Exit(wxDialog*) override {}

private:
    int answer_;
};

} // namespace orvane::testing
