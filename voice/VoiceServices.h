#pragma once

#include "foundation/String.h"

#include <cstdint>

namespace orvane {

class IContact;
class IModuleConnection;

// The application around the voice module: its status text, notices, boxes, ring and
// thread messages. AppVoiceServices answers them with the application object; tests
// record them. User-interface thread, except where noted.
class VoiceServices {
public:
    virtual ~VoiceServices() = default;

    // The application's status text; it reaches the call bar's status label a moment
    // later, through the user-interface thread's queue. Any thread.
    virtual void setStatusText(const char* text) = 0;
    // The sliding notice, without a sound.
    virtual void notify(const String& text) = 0;
    // A message box with only an OK button.
    virtual void messageBox(const String& text) = 0;
    virtual void startRing(const String& path, int64_t periodMs) = 0;
    virtual void stopRing() = 0;
    virtual bool isRinging() = 0;
    // The program folder, ending with the separator.
    virtual String programFolder() = 0;
    // A thread message to the user-interface thread (wParam and lParam 0). Any thread.
    virtual void post(int message, intptr_t wParam) = 0;
};

// The voice session thread as the call drives it.
class VoiceSessionControl {
public:
    virtual ~VoiceSessionControl() = default;

    // Starts the thread; false (or an exception) when it cannot run.
    virtual bool start() = 0;
    // Stops the thread and waits for it.
    virtual void stop() = 0;
    // Caller side, after the peer accepted: the thread opens the channel to the contact.
    // `call` is the module's number of the call; the thread's reports carry it.
    virtual void startCall(IContact* contact, unsigned call) = 0;
    // The channel of the call: the talk loop runs over it; the thread owns it from here.
    virtual void startTalk(IContact* contact, IModuleConnection* connection, unsigned call) = 0;
    virtual void stopSession() = 0;
    // Ends the session only while it still runs that call.
    virtual void stopSessionOf(unsigned call) = 0;
};

} // namespace orvane
