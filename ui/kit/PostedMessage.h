#pragma once

#include <wx/event.h>

namespace orvane {

// A window message posted to a window of the program, the way the original desktop's
// windows tell one another of clicks and state changes: the event's id is the message
// number, its int the first parameter and its extra long the second. Handlers bind it for
// one number: `window.Bind(EVT_POSTED_MESSAGE, handler, message)`.
//
// The event type is allocated when the library is loaded, so a module library, which keeps
// its own copy of this kit, has a number of its own for it: these messages are posted and
// received within one program or one module.
wxDECLARE_EVENT(EVT_POSTED_MESSAGE, wxCommandEvent);

// Queues the message for the target's next turn of the event loop and returns at once.
// Safe from any thread: the event is handled on the user-interface thread. A target
// destroyed before then drops it.
void postMessage(wxEvtHandler& target, int message, int wParam = 0, long lParam = 0);

} // namespace orvane
