#include "ui/kit/PostedMessage.h"

namespace orvane {

wxDEFINE_EVENT(EVT_POSTED_MESSAGE, wxCommandEvent);

void postMessage(wxEvtHandler& target, int message, int wParam, long lParam)
{
    auto* event = new wxCommandEvent(EVT_POSTED_MESSAGE, message);
    event->SetInt(wParam);
    event->SetExtraLong(lParam);
    // A message is meant for one window: it does not climb to the parents when unhandled.
    event->StopPropagation();
    wxQueueEvent(&target, event);
}

} // namespace orvane
