#pragma once

// A call bar without a window, for the headless client and the voice module's tests: it
// keeps the call state and peer as the window does, hands each change of state to the
// module, and tells what it would show as lines of text ("label Call from bob", "name bob",
// "front", "levels 0", and with states "state Ringing"), each after the bar's prefix.

#include "tests/core/RecordingUi.h"
#include "voice/CallBarView.h"
#include "voice/VoiceModule.h"

#include <functional>
#include <string>
#include <utility>

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

class TextCallBar final : public CallBarView {
public:
    TextCallBar(VoiceModule& module, std::function<void(const std::string&)> print, std::string prefix,
                bool printsStates)
        : module_(module), print_(std::move(print)), prefix_(std::move(prefix)), printsStates_(printsStates)
    {
    }

    CallState state() const override { return state_; }
    void setState(CallState state) override
    {
        const CallState old = state_;
        state_ = state;
        module_.onStateChanged(old, state);
        if (printsStates_)
            say(std::string("state ") + callStateName(state));
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
    void setStatusLabel(const String& text) override { say("label " + oneLine(text.c_str())); }
    void setNameText(const String& text) override { say("name " + oneLine(text.c_str())); }
    void clearLevels() override { say("levels 0"); }
    void bringToFront() override { say("front"); }

private:
    void say(const std::string& line) { print_(prefix_ + line); }

    VoiceModule& module_;
    std::function<void(const std::string&)> print_;
    const std::string prefix_;
    const bool printsStates_;
    CallState state_ = CallState::Unavailable;
    IContact* current_ = nullptr;
};

} // namespace orvane::testing
