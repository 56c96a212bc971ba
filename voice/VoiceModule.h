#pragma once

#include "core/module/ModuleBase.h"
#include "voice/CallBarHost.h"
#include "voice/CallBarView.h"
#include "voice/VoiceRecord.h"
#include "voice/VoiceServices.h"

#include <functional>

namespace orvane {

// The built-in module "voice": one-to-one voice calls. It is the call bar's host and keeps
// the call's rules: what each change of the bar's state sends, plays and shows, what the
// peer's records do, and when a channel from the peer may carry audio. The audio runs in
// the voice session thread; the bar shows the call.
//
// Records are believed only from the peer of the call they concern (a request, which
// starts a call, from anyone), and a channel offered for this module is taken only while a
// call with its sender is accepted; anything else is closed at once, so a third party can
// neither end a call nor open a microphone.
//
// User-interface thread only, like every IModule operation.
class VoiceModule : public ModuleBase, public CallBarHost {
public:
    static constexpr int RingPeriodMs = 4000;

    explicit VoiceModule(VoiceServices& services);

    // The bar whose state this module drives; NULL detaches it (the bar is going).
    void attachBar(CallBarView* bar) { bar_ = bar; }
    CallBarView* bar() const { return bar_; }
    // The session thread the calls drive; NULL: calls are signalled but carry no audio.
    void setSession(VoiceSessionControl* session) { session_ = session; }
    // Where the contact selected in the contact view comes from.
    void setContactSource(std::function<IContact*()> source) { selection_ = std::move(source); }

    // The program folder's sound file: the folder, "sounds" and the file, joined by the
    // platform's separator.
    static String soundPath(const String& programFolder, const char* file);
    // The pattern with every "%s" replaced by the text (taken as it stands: never a format).
    static String fill(const char* pattern, const char* text);

    // ---- IModule ----
    bool init(IModuleHost* host) override;
    void shutdown() override {}
    const char* getId() override { return "voice"; }
    const char* getName() override { return "Voice Module"; }
    const char* getVersion() override { return "2.0"; }
    const char* getDisplayName() override { return "Talk"; }
    BitmapHandle getBitmap() override { return nullptr; }
    const char* getDescription() override { return "Voice Conversation Module"; }
    void onSignedIn() override;
    void onSignedOut() override;
    void onContactStatusChanged(IContact* contact) override;
    void onContactRemoved(IContact* contact) override;
    void actOn(IContact* contact) override;
    void onIncomingConnection(IContact* contact, IModuleConnection* connection) override;
    void onMessage(IContact* sender, const char* data) override;
    void showWindow(WindowHandle window) override;

    // ---- CallBarHost ----
    bool canCall(IContact* contact) override { return canActOn(contact); }
    IContact* selectedContact() override;
    bool isRinging() override { return services_.isRinging(); }
    bool startSession() override { return session_ && session_->start(); }
    void stopSession() override
    {
        if (session_)
            session_->stop();
    }
    void setStatusText(const char* text) override { services_.setStatusText(text); }
    void onStateChanged(CallState old, CallState now) override;

    // Ends the session thread's call, if any (a new sign-in).
    void stopCallSession()
    {
        if (session_)
            session_->stopSession();
    }

    // ---- the session thread's reports (WM_VOICE_STARTED, _ENDED, _FAILED) ----
    // Each names its call by number (the message's wParam); reports of any call but the
    // current one change nothing here.
    void onSessionConnected(unsigned call);
    void onSessionEnded(unsigned call);
    void onSessionFailed(unsigned call);
    // The number of the current or last call: one more for each call placed or rung.
    unsigned currentCall() const { return call_; }

    IModuleHost* host() const { return host_; }

private:
    bool inCall() const;
    // Whether the contact is the peer of the bar's call (same user id).
    bool isPeer(IContact* contact) const;
    String peerName() const;
    void send(IContact* contact, const char* command, const char* reason = nullptr);
    void placeCall();
    // Back to Idle without the actions of ending a call: nothing was placed.
    void abandonCall();
    void showCallStatus(bool isCaller);
    void onCallDeclined(const VoiceRecord& record);
    void playSound(const char* file);
    void startRing();

    VoiceServices& services_;
    IModuleHost* host_ = nullptr;
    CallBarView* bar_ = nullptr;
    VoiceSessionControl* session_ = nullptr;
    std::function<IContact*()> selection_;
    // The contact of IModule::actOn, standing in for the selection while it places a call.
    IContact* actingOn_ = nullptr;
    // Set while the bar's state changes without the transition's actions.
    bool quiet_ = false;
    unsigned call_ = 0;
    // Whether the peer was online when the call began.
    bool peerOnline_ = false;
};

} // namespace orvane
