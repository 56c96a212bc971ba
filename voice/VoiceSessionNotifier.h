#pragma once

#include <functional>

namespace orvane {

class UiThreadPort;

// Where the voice session thread's reports go: each one a thread message posted to the
// user-interface thread (ThreadMessage::Voice*), so the session thread never touches a
// window. The levels travel as both wParam and lParam; the channel index is not sent.
//
// Threads: any; the port never waits for the user-interface thread. The call bar owns it
// and sets it on the session thread before starting that thread.
class VoiceSessionNotifier {
public:
    // `statusText` sets the application's status text (any thread); empty: not shown.
    explicit VoiceSessionNotifier(UiThreadPort& port, std::function<void(const char*)> statusText = {});
    virtual ~VoiceSessionNotifier();
    VoiceSessionNotifier(const VoiceSessionNotifier&) = delete;
    VoiceSessionNotifier& operator=(const VoiceSessionNotifier&) = delete;

    // The call's number goes as wParam.
    virtual void notifyStarted(unsigned call);
    virtual void notifyEnded(unsigned call);
    virtual void notifyInputLevel(int channel, int level);
    virtual void notifyOutputLevel(int channel, int level);
    virtual void setStatusText(const char* text);

private:
    UiThreadPort& port_;
    std::function<void(const char*)> statusText_;
};

} // namespace orvane
