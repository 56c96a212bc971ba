#include "ui/WxUiThreadPort.h"

#include <wx/app.h>

namespace orvane {

void WxUiThreadPort::post(int id, intptr_t wParam, intptr_t lParam)
{
    callAfter([this, id, wParam, lParam] {
        if (handler_)
            handler_(id, wParam, lParam);
    });
}

void WxUiThreadPort::callAfter(std::function<void()> action)
{
    // CallAfter queues an event, which wx allows from any thread.
    if (wxAppConsole* app = wxAppConsole::GetInstance())
        app->CallAfter(std::move(action));
}

} // namespace orvane
