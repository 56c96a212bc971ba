#pragma once

#include "ui/WindowPlacement.h"

#include <wx/frame.h>

class wxConfigBase;

namespace orvane {

// A frame that opens where it was last time: ActivateFrame() restores its rectangle and its
// minimised or maximised state from the profile section "Main Frame", and the placement is
// stored when the frame is destroyed. The profile must outlive the frame.
//
// The placement is stored exactly once, while the window still exists: from Destroy() (the
// close path, the Exit command), or from the destructor when the frame is deleted without
// Destroy(). User-interface thread only.
class CPersistSDIFrame : public wxFrame {
public:
    static const char* const Section;

    CPersistSDIFrame(wxConfigBase& profile, wxWindow* parent, wxWindowID id, const wxString& title,
                     const wxPoint& position = wxDefaultPosition, const wxSize& size = wxDefaultSize,
                     long style = wxDEFAULT_FRAME_STYLE, const wxString& name = wxASCII_STR(wxFrameNameStr));
    ~CPersistSDIFrame() override;

    // Shows the frame the way the program does every time it brings it up: loads the
    // placement, then shows the frame as the placement says. Normal and maximised show and
    // activate it; minimised shows it as an icon only, without taking the focus.
    virtual void ActivateFrame();

    bool Destroy() override;

    WindowPlacement& placement() { return placement_; }

protected:
    // Stores the placement; later calls do nothing.
    void OnDestroy();

private:
    WindowPlacement placement_;
    bool placementSaved_ = false;
};

} // namespace orvane
