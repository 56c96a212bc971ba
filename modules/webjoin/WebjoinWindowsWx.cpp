#include "modules/webjoin/WebjoinWindowsWx.h"

#include "modules/webjoin/CChildFrame.h"
#include "ui/kit/CMessageBox.h"


#include <utility>

namespace orvane {

WebjoinWindowsWx::WebjoinWindowsWx(ISkin& skin, wxConfigBase& profile, std::function<void(CWebjoinDoc&)> onClosed)
    : skin_(skin)
    , profile_(profile)
    , onClosed_(std::move(onClosed))
{
}

SessionWindow* WebjoinWindowsWx::openSessionWindow(CWebjoinDoc& doc)
{
    auto* frame = new CChildFrame(doc, skin_, profile_, nullptr);
    if (!frame->valid()) {
        frame->Destroy();
        return nullptr;
    }
    // Only a window that came up tells the application when it goes.
    frame->setOnClosed(onClosed_);
    frame->ActivateFrame();
    return frame;
}

void WebjoinWindowsWx::showWarning(const std::string& text)
{
    CMessageBox box(nullptr, skin_, wxString::FromUTF8(text), "Webjoin", wxOK | wxICON_EXCLAMATION);
    box.ShowModal();
}

void WebjoinWindowsWx::bringUp(WindowHandle window)
{
    if (!window)
        return;
    auto* frame = static_cast<wxWindow*>(window);
    if (auto* top = dynamic_cast<wxTopLevelWindow*>(frame))
        top->Restore();
    frame->Raise();
}

} // namespace orvane
