#include "ui/CAudioBar.h"

#include "resources/ResourceIds.h"
#include "ui/CMixerFader.h"
#include "ui/CSegmentBar.h"
#include "ui/MixerWatch.h"
#include "ui/StateTrace.h"
#include "ui/kit/CLevelMeter.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/Skin.h"

#include <wx/dcbuffer.h>

namespace orvane {

namespace {

// The template's places and sizes, in dialog units.
constexpr int BarWidth = 129;
constexpr int BarHeight = 78;

struct Place {
    int x, y, width, height;
};
constexpr Place NamePlace{4, 4, 120, 17};
constexpr Place TalkPlace{4, 26, 25, 22};
constexpr Place MeterFramePlace{30, 24, 63, 27};
constexpr Place OutputMeterPlace{37, 24, 20, 27};
constexpr Place InputMeterPlace{66, 24, 20, 27};
constexpr Place SpeakerFaderPlace{27, 52, 36, 10};
constexpr Place MicrophoneFaderPlace{57, 52, 36, 10};
constexpr Place StatusPlace{4, 64, 120, 10};
constexpr Place SegmentBarPlace{4, 54, 39, 6};
constexpr Place HangUpPlace{97, 26, 25, 22};

wxString textOf(const String& text)
{
    return wxString::FromUTF8(text.c_str());
}

void dressMeter(CLevelMeter& meter)
{
    meter.SetVertical(true);
    meter.SetLcdColors();
    meter.SetMargin(0);
    meter.SetGap(1);
    meter.SetCellSize(2);
}

} // namespace

CAudioBar::CAudioBar(CallBarHost& host, Skin& skin) : host_(host), skin_(skin), timer_(this)
{
}

CAudioBar::~CAudioBar()
{
    timer_.Stop();
    stopSession();
}

bool CAudioBar::Create(wxWindow* parent, std::shared_ptr<MixerWatch> mixer, wxWindowID id)
{
    if (!wxPanel::Create(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxTAB_TRAVERSAL))
        return false;
    SetFont(DialogUnits::dialogFont());
    units_ = DialogUnits::of(*this);
    if (!InitDialogBar(std::move(mixer)))
        return false;

    nameLabel_->SetTransparent(false);
    nameLabel_->SetTextColor(skin_.textColor());
    nameLabel_->SetBackgroundColor(skin_.backgroundColor());
    nameLabel_->SetAlignment(0);
    nameLabel_->SetOutline(false);
    nameLabel_->SetFontName("Microsoft Sans Serif");
    nameLabel_->SetFontSize(18);
    nameLabel_->SetFontBold(true);
    blink_ = 0;
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnTimer(); });
    timer_.Start(BlinkPeriodMs);
    return true;
}

bool CAudioBar::InitDialogBar(std::shared_ptr<MixerWatch> mixer)
{
    auto at = [this](const Place& p) { return units_.toPixels(wxPoint(p.x, p.y)); };
    auto size = [this](const Place& p) { return units_.toPixels(wxSize(p.width, p.height)); };

    // In the template's order: GTK draws a later sibling over an earlier one, so the meter
    // panel lies under the two meters.
    nameLabel_ = new CTextLabel(this, NameLabelId, wxString(), at(NamePlace), size(NamePlace));
    talk_ = new CSkinButton(this, TalkId, wxString(), CSkinButton::PushButton, at(TalkPlace), size(TalkPlace));
    meterFrame_ = new CLevelMeter(this, MeterFrameId, at(MeterFramePlace), size(MeterFramePlace));
    outputMeter_ = new CLevelMeter(this, OutputMeterId, at(OutputMeterPlace), size(OutputMeterPlace));
    inputMeter_ = new CLevelMeter(this, InputMeterId, at(InputMeterPlace), size(InputMeterPlace));
    speakerFader_ = new CMixerFader(this, SpeakerFaderId, at(SpeakerFaderPlace), size(SpeakerFaderPlace));
    microphoneFader_ =
        new CMixerFader(this, MicrophoneFaderId, at(MicrophoneFaderPlace), size(MicrophoneFaderPlace));
    statusLabel_ = new CTextLabel(this, StatusLabelId, wxString(), at(StatusPlace), size(StatusPlace));
    segmentBar_ = new CSegmentBar(this, SegmentBarId, at(SegmentBarPlace), size(SegmentBarPlace));
    segmentBar_->Hide();
    hangUp_ = new CSkinButton(this, HangUpId, wxString(), CSkinButton::PushButton, at(HangUpPlace), size(HangUpPlace));

    for (CMixerFader* fader : {speakerFader_, microphoneFader_}) {
        fader->SetBackgroundColor(skin_.backgroundColor());
        fader->SetThumbColors(skin_.backgroundColor(), skin_.backgroundColorLight());
    }
    // A fader without its mixer line stays disabled; the bar works on without it.
    speakerFader_->Init(mixer, MixerLine::Speakers, CMixerFader::Main);
    microphoneFader_->Init(mixer, MixerLine::Microphone, CMixerFader::Main);

    for (CLevelMeter* meter : {outputMeter_, inputMeter_}) {
        dressMeter(*meter);
        meter->SetRange64(0, 10);
    }
    dressMeter(*meterFrame_);
    // Lit and unlit alike: an even panel behind the meters.
    meterFrame_->SetLitColor(0x829696);
    meterFrame_->SetPos64(0);

    // The status label: a sunken static in the original, a one-pixel frame here.
    statusLabel_->SetBorderWidth(1);
    statusLabel_->SetBorderColor(CFlatSlider::shifted(skin_.backgroundColor(), -50));

    talk_->SetBitmaps(BitmapTalk, BitmapTalkPressed, BitmapTalkHover, BitmapTalkDisabled, BitmapTalk, true, false, 0);
    hangUp_->SetBitmaps(BitmapHangUp, BitmapHangUpPressed, BitmapHangUpHover, BitmapHangUpDisabled, BitmapHangUp, true,
                        false, 0);
    talk_->Disable();
    hangUp_->Disable();

    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CAudioBar::onPaint, this);
    Bind(wxEVT_BUTTON, &CAudioBar::onButton, this);
    SetInitialSize(DoGetBestSize());

    try {
        sessionRunning_ = host_.startSession();
    } catch (...) {
        sessionRunning_ = false;
    }
    if (!sessionRunning_)
        host_.setStatusText(SoundCardFailedText);
    return true;
}

wxSize CAudioBar::DoGetBestSize() const
{
    return units_.toPixels(wxSize(BarWidth, BarHeight));
}

void CAudioBar::onPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    skin_.paintBackground(this, &dc);
}

void CAudioBar::onButton(wxCommandEvent& event)
{
    if (event.GetId() == TalkId)
        OnTalk();
    else if (event.GetId() == HangUpId)
        OnHangUp();
    else
        event.Skip();
}

void CAudioBar::SetState(CallState state)
{
    const CallState old = state_;
    state_ = state;
    host_.onStateChanged(old, state);
    UpdateButtons();
}

void CAudioBar::UpdateButtons()
{
    if (!talk_ || !hangUp_)
        return;
    bool talk = false;
    bool hangUp = false;
    switch (state_) {
    case CallState::Idle:
        talk = host_.canCall(host_.selectedContact());
        break;
    case CallState::Connected:
    case CallState::Calling:
        hangUp = true;
        break;
    case CallState::Ringing:
        talk = true;
        hangUp = true;
        break;
    case CallState::Unavailable:
        break;
    }
    talk_->Enable(talk);
    hangUp_->Enable(hangUp);
}

void CAudioBar::OnTalk()
{
    const CallState next = stateAfterTalk(state_);
    if (next != state_)
        SetState(next);
    else
        UpdateButtons();
}

void CAudioBar::OnHangUp()
{
    const CallState next = stateAfterHangUp(state_);
    if (next != state_)
        SetState(next);
    else
        UpdateButtons();
}

void CAudioBar::ShowStatusText(const String& text)
{
    SetStatusLabel(text);
}

void CAudioBar::SetStatusLabel(const String& text)
{
    if (statusLabel_)
        statusLabel_->SetText(textOf(text));
    traceState("call status", text);
}

void CAudioBar::SetNameText(const String& text)
{
    if (nameLabel_)
        nameLabel_->SetText(textOf(text));
}

void CAudioBar::SetInputLevel(int64_t level)
{
    if (inputMeter_)
        inputMeter_->SetPos64(level);
}

void CAudioBar::SetOutputLevel(int64_t level)
{
    if (outputMeter_)
        outputMeter_->SetPos64(level);
}

void CAudioBar::SetLevelGraph(const uint8_t* bytes, int count)
{
    if (segmentBar_)
        segmentBar_->SetData(bytes, count, true);
}

void CAudioBar::OnTimer()
{
    // While the ring is idle the counter keeps its value, so a new ring goes on where the
    // last one stopped.
    if (!host_.isRinging())
        return;
    if (blink_ == 0)
        SetNameText(currentContact_ ? String(currentContact_->getDisplayName()) : String());
    else if (blink_ == 4)
        SetNameText(String());
    blink_ = blink_ >= 5 ? 0 : blink_ + 1;
}

void CAudioBar::stopSession()
{
    if (!sessionRunning_)
        return;
    sessionRunning_ = false;
    host_.stopSession();
}

bool CAudioBar::Destroy()
{
    timer_.Stop();
    stopSession();
    return wxPanel::Destroy();
}

} // namespace orvane
