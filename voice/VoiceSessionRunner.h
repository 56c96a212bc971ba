#pragma once

#include "voice/VoiceServices.h"
#include "voice/VoiceSessionNotifier.h"
#include "voice/VoiceSessionThread.h"

#include <functional>
#include <memory>

namespace orvane {

class IModuleHost;
class UiThreadPort;

// The call bar's one voice session thread and its notifier, for the life of the main
// window: start() builds them (the engine with them) and starts the thread, stop() stops
// it, waits for it and destroys it, so that the channel it may still hold is closed while
// the application that made the channel exists.
//
// User-interface thread only.
class VoiceSessionRunner : public VoiceSessionControl {
public:
    // `host` answers the voice module's host at start (it opens the caller's channel);
    // `statusText` sets the application's status text.
    VoiceSessionRunner(UiThreadPort& port, std::function<IModuleHost*()> host,
                       std::function<void(const char*)> statusText, VoiceSessionThread::Settings settings = {});
    ~VoiceSessionRunner() override;

    bool start() override;
    void stop() override;
    void startCall(IContact* contact, unsigned call) override;
    void startTalk(IContact* contact, IModuleConnection* connection, unsigned call) override;
    void stopSession() override;
    void stopSessionOf(unsigned call) override;

    // NULL unless started.
    VoiceSessionThread* thread() const { return thread_.get(); }

private:
    UiThreadPort& port_;
    std::function<IModuleHost*()> host_;
    std::function<void(const char*)> statusText_;
    VoiceSessionThread::Settings settings_;
    std::unique_ptr<VoiceSessionNotifier> notifier_;
    std::unique_ptr<VoiceSessionThread> thread_;
};

} // namespace orvane
