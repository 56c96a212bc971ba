#include "ui/CNewPersistSDIFrame.h"

#include "ui/MainMenu.h"

#include <wx/menu.h>

namespace orvane {

CNewPersistSDIFrame::CNewPersistSDIFrame(wxConfigBase& profile, wxWindow* parent, wxWindowID id,
                                         const wxString& title, const wxPoint& position, const wxSize& size,
                                         long style, const wxString& name)
    : CPersistSDIFrame(profile, parent, id, title, position, size, style, name)
{
    SetMenuBar(MainMenu::createMenuBar().release());
}

} // namespace orvane
