#pragma once

#include "foundation/String.h"
#include "voice/CallBarHost.h"
#include "ui/DialogUnits.h"

#include <wx/panel.h>
#include <wx/timer.h>

#include <cstdint>
#include <memory>

namespace orvane {

class CLevelMeter;
class CMixerFader;
class CSegmentBar;
class CSkinButton;
class CTextLabel;
class MixerWatch;
class Skin;

// The voice call's bar along the bottom of the main frame: the peer's name, the Talk and
// Hang-up buttons, the output and input level meters on an even panel, the speaker and
// microphone volume faders (bound to the system's mixer; disabled without one) and the
// status label.
//
// Layout: 129 by 78 dialog units of the "MS Sans Serif" 8 font, the controls at their
// places of the original template (ids as the constants below); the segment bar is
// hidden.
//
// The bar keeps the call state (Unavailable at first) and enables the buttons by it: in
// Idle Talk is enabled exactly when the host can call the selected contact; Connected and
// Calling enable only Hang-up; Ringing both; Unavailable neither. While the host's ring
// plays, the name label blinks: the current contact's name for four ticks of 150 ms, empty
// for two.
//
// User-interface thread only.
class CAudioBar : public wxPanel {
public:
    static constexpr int BarId = 143;
    static constexpr int NameLabelId = 1024;
    static constexpr int OutputMeterId = 1011;
    static constexpr int InputMeterId = 1010;
    static constexpr int TalkId = 1009;
    static constexpr int HangUpId = 1022;
    static constexpr int SpeakerFaderId = 1012;
    static constexpr int MicrophoneFaderId = 1014;
    static constexpr int SegmentBarId = 1018;
    static constexpr int StatusLabelId = 1016;
    static constexpr int MeterFrameId = 1027;
    static constexpr int BlinkPeriodMs = 150;
    static constexpr const char* SoundCardFailedText = "Failed to initialize Sound Card!";

    CAudioBar(CallBarHost& host, Skin& skin);
    ~CAudioBar() override;

    // Creates the window and its controls (InitDialogBar), dresses the name label and
    // starts the blink timer. The faders are bound to the mixer of the watch (NULL or an
    // empty watch: they stay disabled). False when the window could not be made.
    bool Create(wxWindow* parent, std::shared_ptr<MixerWatch> mixer, wxWindowID id = BarId);

    // ---- the call state ----
    CallState GetState() const { return state_; }
    // Stores the state, tells the host, then UpdateButtons.
    void SetState(CallState state);
    // The buttons' enabling by state.
    void UpdateButtons();
    // Talk: Idle -> Calling, Ringing -> Connected; otherwise only UpdateButtons.
    void OnTalk();
    // Hang-up: Connected, Calling or Ringing -> Idle; otherwise only UpdateButtons.
    void OnHangUp();
    IContact* currentContact() const { return currentContact_; }
    void setCurrentContact(IContact* contact) { currentContact_ = contact; }

    // ---- what the application's thread messages show ----
    // The application's status text (WM_STATUS_TEXT).
    void ShowStatusText(const String& text);
    // A call text set on the status label directly.
    void SetStatusLabel(const String& text);
    void SetNameText(const String& text);
    // Levels in percent (WM_VOICE_LEVEL_IN, WM_VOICE_LEVEL_OUT); the meters clamp them.
    void SetInputLevel(int64_t level);
    void SetOutputLevel(int64_t level);
    // The level graph (WM_LEVEL_GRAPH) for the hidden segment bar.
    void SetLevelGraph(const uint8_t* bytes, int count);

    // One tick of the blink timer.
    void OnTimer();
    int blinkCounter() const { return blink_; }

    // The window's part of the destruction: the timer stops and the session thread is
    // stopped and waited for, before the controls go.
    bool Destroy() override;

    CTextLabel* nameLabel() const { return nameLabel_; }
    CTextLabel* statusLabel() const { return statusLabel_; }
    CSkinButton* talkButton() const { return talk_; }
    CSkinButton* hangUpButton() const { return hangUp_; }
    CLevelMeter* inputMeter() const { return inputMeter_; }
    CLevelMeter* outputMeter() const { return outputMeter_; }
    CLevelMeter* meterFrame() const { return meterFrame_; }
    CMixerFader* speakerFader() const { return speakerFader_; }
    CMixerFader* microphoneFader() const { return microphoneFader_; }
    CSegmentBar* segmentBar() const { return segmentBar_; }
    bool sessionRunning() const { return sessionRunning_; }

    wxSize DialogToPixels(const wxSize& units) const { return units_.toPixels(units); }

protected:
    wxSize DoGetBestSize() const override;

private:
    bool InitDialogBar(std::shared_ptr<MixerWatch> mixer);
    void stopSession();
    void onPaint(wxPaintEvent& event);
    void onButton(wxCommandEvent& event);

    CallBarHost& host_;
    Skin& skin_;
    // The controls belong to the window.
    CTextLabel* nameLabel_ = nullptr;
    CLevelMeter* outputMeter_ = nullptr;
    CLevelMeter* inputMeter_ = nullptr;
    CSkinButton* talk_ = nullptr;
    CSkinButton* hangUp_ = nullptr;
    CMixerFader* speakerFader_ = nullptr;
    CMixerFader* microphoneFader_ = nullptr;
    CSegmentBar* segmentBar_ = nullptr;
    CTextLabel* statusLabel_ = nullptr;
    CLevelMeter* meterFrame_ = nullptr;
    CallState state_ = CallState::Unavailable;
    IContact* currentContact_ = nullptr;
    int blink_ = 0;
    bool sessionRunning_ = false;
    wxTimer timer_;
    DialogUnits units_{0, 0};
};

} // namespace orvane
