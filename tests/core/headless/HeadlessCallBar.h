#pragma once

// The call bar of the headless client: the call state and peer as the window keeps them,
// and every change and text printed as a line ("call-state Ringing", "call-label Call from
// bob", "call-name bob", "call-front", "call-levels 0").

#include "voice/CallBarView.h"
#include "voice/VoiceModule.h"

#include <functional>
#include <string>

namespace orvane::testing {

inline const char* callStateName(CallState state)
{
    switch (state) {
    case CallState::Idle:
        return "Idle";
    case CallState::Connected:
        return "Connected";
    case CallState::Calling:
        return "Calling";
    case CallState::Ringing:
        return "Ringing";
    case CallState::Unavailable:
        return "Unavailable";
    }
    return "?";
}

class HeadlessCallBar final : public CallBarView {
public:
    HeadlessCallBar(VoiceModule& module, std::function<void(const std::string&)> print)
        : module_(module), print_(std::move(print))
    {
    }

    CallState state() const override { return state_; }
    void setState(CallState state) override
    {
        const CallState old = state_;
        state_ = state;
        module_.onStateChanged(old, state);
        print_(std::string("call-state ") + callStateName(state));
    }
    void talk() override
    {
        if (stateAfterTalk(state_) != state_)
            setState(stateAfterTalk(state_));
    }
    void hangUp() override
    {
        if (stateAfterHangUp(state_) != state_)
            setState(stateAfterHangUp(state_));
    }
    void updateButtons() override {}
    IContact* currentContact() const override { return current_; }
    void setCurrentContact(IContact* contact) override { current_ = contact; }
    void setStatusLabel(const String& text) override { print_("call-label " + oneLine(text.c_str())); }
    void setNameText(const String& text) override { print_("call-name " + std::string(text.c_str())); }
    void clearLevels() override { print_("call-levels 0"); }
    void bringToFront() override { print_("call-front"); }

private:
    VoiceModule& module_;
    std::function<void(const std::string&)> print_;
    CallState state_ = CallState::Unavailable;
    IContact* current_ = nullptr;
};

} // namespace orvane::testing
