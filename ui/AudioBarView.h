#pragma once

#include "ui/CAudioBar.h"
#include "voice/CallBarView.h"

#include <wx/frame.h>
#include <wx/weakref.h>

namespace orvane {

// The voice module's view of the main frame's call bar. It watches both windows: once the
// bar is gone (the main window was destroyed) the call is Unavailable and nothing shows.
class AudioBarView final : public CallBarView {
public:
    AudioBarView(CAudioBar& bar, wxFrame& frame) : bar_(&bar), frame_(&frame) {}

    CallState state() const override { return bar_ ? bar_->GetState() : CallState::Unavailable; }
    void setState(CallState state) override
    {
        if (bar_)
            bar_->SetState(state);
    }
    void talk() override
    {
        if (bar_)
            bar_->OnTalk();
    }
    void hangUp() override
    {
        if (bar_)
            bar_->OnHangUp();
    }
    void updateButtons() override
    {
        if (bar_)
            bar_->UpdateButtons();
    }
    IContact* currentContact() const override { return bar_ ? bar_->currentContact() : nullptr; }
    void setCurrentContact(IContact* contact) override
    {
        if (bar_)
            bar_->setCurrentContact(contact);
    }
    void setStatusLabel(const String& text) override
    {
        if (bar_)
            bar_->SetStatusLabel(text);
    }
    void setNameText(const String& text) override
    {
        if (bar_)
            bar_->SetNameText(text);
    }
    void clearLevels() override
    {
        if (!bar_)
            return;
        bar_->SetInputLevel(0);
        bar_->SetOutputLevel(0);
    }
    void bringToFront() override
    {
        if (!frame_)
            return;
        frame_->Show();
        frame_->Iconize(false);
        frame_->Raise();
        frame_->SetFocus();
    }

private:
    wxWeakRef<CAudioBar> bar_;
    wxWeakRef<wxFrame> frame_;
};

} // namespace orvane
