#pragma once

#include "core/module/ModuleInterfaces.h"

namespace orvane {

// The voice call's states, with the numbers the program has always used.
enum class CallState {
    Idle = 0,        // no call
    Connected = 1,   // accepted by both sides; the channel opens or audio flows
    Calling = 2,     // request sent, waiting for the peer's answer
    Ringing = 3,     // a request arrived, waiting for the user
    Unavailable = 4, // signed out
};

// What the Talk button makes of a state: a call placed from Idle, a ringing call
// accepted; any other state stays.
inline CallState stateAfterTalk(CallState state)
{
    if (state == CallState::Idle)
        return CallState::Calling;
    if (state == CallState::Ringing)
        return CallState::Connected;
    return state;
}

// What the Hang-up button makes of a state: a call placed, ringing or connected ends;
// any other state stays.
inline CallState stateAfterHangUp(CallState state)
{
    if (state == CallState::Connected || state == CallState::Calling || state == CallState::Ringing)
        return CallState::Idle;
    return state;
}

// What the call bar needs from the voice module and the application around it. The voice
// module implements it and hangs the call's signalling on onStateChanged: the bar keeps
// the state, the buttons, the labels, the meters and the faders; the module decides what
// each change of state sends, plays and shows.
//
// Every operation is called on the user-interface thread.
class CallBarHost {
public:
    virtual ~CallBarHost() = default;

    // Whether a call can be placed to the contact (the voice module's IModule::canActOn).
    virtual bool canCall(IContact* contact) = 0;
    // The contact selected in the contact view, or NULL.
    virtual IContact* selectedContact() = 0;
    // Whether the application's ring is playing (the name label blinks meanwhile).
    virtual bool isRinging() = 0;
    // Starts the voice session thread; false (or an exception) when it cannot run.
    virtual bool startSession() = 0;
    // Stops the voice session thread and waits until it has ended.
    virtual void stopSession() = 0;
    // The application's status text; it comes back to the bar's status label through
    // CAudioBar::ShowStatusText when the user-interface thread takes it.
    virtual void setStatusText(const char* text) = 0;
    // The state has changed from `old` to `now` (it may be the same); the bar refreshes its
    // buttons afterwards.
    virtual void onStateChanged(CallState old, CallState now)
    {
        (void)old;
        (void)now;
    }
};

} // namespace orvane
