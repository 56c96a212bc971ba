#include "ui/CPersistSDIFrame.h"

namespace orvane {

const char* const CPersistSDIFrame::Section = "Main Frame";

CPersistSDIFrame::CPersistSDIFrame(wxConfigBase& profile, wxWindow* parent, wxWindowID id, const wxString& title,
                                   const wxPoint& position, const wxSize& size, long style, const wxString& name)
    : wxFrame(parent, id, title, position, size, style, name), placement_(*this, profile, Section)
{
}

CPersistSDIFrame::~CPersistSDIFrame()
{
    OnDestroy();
}

void CPersistSDIFrame::ActivateFrame()
{
    placement_.load();
    if (placement_.showCommand() == ShowCommand::MinimizedNoActivate) {
        // load() has asked for the minimised state; shown now, the frame appears as an icon.
        ShowWithoutActivating();
    } else if (IsShown()) {
        Raise();
    } else {
        Show();
    }
}

bool CPersistSDIFrame::Destroy()
{
    OnDestroy();
    return wxFrame::Destroy();
}

void CPersistSDIFrame::OnDestroy()
{
    if (placementSaved_)
        return;
    placementSaved_ = true;
    placement_.save();
}

} // namespace orvane
