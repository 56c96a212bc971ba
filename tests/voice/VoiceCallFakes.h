#pragma once

// The voice module's surroundings for its tests: the application's services and a session
// thread that write what is asked of them into one ordered log, and a channel that
// notes its closing.

#include "core/app/ThreadMessages.h"
#include "tests/modules/RecordingHost.h"
#include "tests/voice/TextCallBar.h"
#include "voice/CallBarView.h"
#include "voice/VoiceModule.h"

#include <string>
#include <vector>

namespace orvane::testing {

using CallLog = std::vector<std::string>;

class RecordingServices final : public VoiceServices {
public:
    explicit RecordingServices(CallLog& log) : log_(log) {}

    void setStatusText(const char* text) override { log_.push_back(std::string("status ") + text); }
    void notify(const String& text) override { log_.push_back("notice " + std::string(text.c_str())); }
    void messageBox(const String& text) override { log_.push_back("box " + std::string(text.c_str())); }
    void startRing(const String& path, int64_t periodMs) override
    {
        ringing = true;
        log_.push_back("ring " + std::string(path.c_str()) + " " + std::to_string(periodMs));
    }
    void stopRing() override
    {
        ringing = false;
        log_.push_back("ring stop");
    }
    bool isRinging() override { return ringing; }
    String programFolder() override { return "/opt/orvane/"; }
    void post(int message, intptr_t wParam) override
    {
        log_.push_back(message == ThreadMessage::VoiceFailed ? "post failed" : "post " + std::to_string(message));
        postedCall = static_cast<unsigned>(wParam);
    }

    bool ringing = false;
    // The call number the last post carried.
    unsigned postedCall = 0;

private:
    CallLog& log_;
};

class RecordingSession final : public VoiceSessionControl {
public:
    explicit RecordingSession(CallLog& log) : log_(log) {}

    bool start() override { return true; }
    void stop() override { log_.push_back("session end"); }
    void startCall(IContact* contact, unsigned call) override
    {
        log_.push_back(std::string("session call ") + contact->getId());
        lastCall = call;
    }
    void startTalk(IContact* contact, IModuleConnection* connection, unsigned call) override
    {
        log_.push_back(std::string("session talk ") + contact->getId());
        talking = connection;
        lastCall = call;
    }
    void stopSession() override { log_.push_back("session stop"); }
    void stopSessionOf(unsigned call) override { log_.push_back("session stop-of " + std::to_string(call)); }

    IModuleConnection* talking = nullptr;
    // The call number of the last start.
    unsigned lastCall = 0;

private:
    CallLog& log_;
};

class NotedChannel final : public IModuleConnection {
public:
    void send(const void*, int) override {}
    int receive(int) override { return -1; }
    const uint8_t* data() override { return nullptr; }
    int size() override { return 0; }
    void close() override { closed = true; }

    bool closed = false;
};

} // namespace orvane::testing
