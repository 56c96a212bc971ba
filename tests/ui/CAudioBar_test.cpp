#include "resources/ProgramImages.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/ui/WxClient.h"
#include "ui/CAudioBar.h"
#include "ui/CMixerFader.h"
#include "ui/CSegmentBar.h"
#include "ui/MixerWatch.h"
#include "ui/kit/CLevelMeter.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

class Contact : public IContact {
public:
    Contact(const char* name, bool isOn) : name_(name), online(isOn) {}
    bool isOnline() override { return online; }
    const char* getId() override { return "42"; }
    const char* getDisplayName() override { return name_.c_str(); }
    const char* getUserName() override { return name_.c_str(); }
    const char* getFirstName() override { return ""; }
    const char* getLastName() override { return ""; }
    const char* getAuxText() override { return ""; }

private:
    std::string name_;

public:
    bool online;
};

// The voice module's side, as the bar sees it: the selection, the ring and the session
// thread are the test's to set, and what the bar asks of it is kept.
class FakeHost : public CallBarHost {
public:
    bool canCall(IContact* contact) override { return contact && contact->isOnline(); }
    IContact* selectedContact() override { return selected; }
    bool isRinging() override { return ringing; }
    bool startSession() override
    {
        ++starts;
        if (sessionThrows)
            throw std::runtime_error("no sound card");
        return sessionStarts;
    }
    void stopSession() override { ++stops; }
    void setStatusText(const char* text) override
    {
        statusTexts.push_back(text);
        // The application hands it back through its status message.
        if (bar)
            bar->ShowStatusText(text);
    }
    void onStateChanged(CallState old, CallState now) override { changes.emplace_back(old, now); }

    IContact* selected = nullptr;
    bool ringing = false;
    bool sessionStarts = true;
    bool sessionThrows = false;
    int starts = 0;
    int stops = 0;
    std::vector<std::string> statusTexts;
    std::vector<std::pair<CallState, CallState>> changes;
    CAudioBar* bar = nullptr;
};

class AudioBar : public ::testing::Test {
protected:
    AudioBar()
    {
        EXPECT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
        frame = new wxFrame(nullptr, wxID_ANY, "call bar");
    }
    ~AudioBar() override
    {
        // The bar at once, while the host it calls still exists; the frame goes later.
        if (bar)
            bar->Destroy();
        frame->Destroy();
    }

    CAudioBar& create(std::shared_ptr<MixerWatch> mixer = nullptr)
    {
        bar = new CAudioBar(host, skin);
        host.bar = bar;
        EXPECT_TRUE(bar->Create(frame, std::move(mixer)));
        return *bar;
    }
    std::pair<bool, bool> buttons() const { return {bar->talkButton()->IsEnabled(), bar->hangUpButton()->IsEnabled()}; }
    wxString name() const { return bar->nameLabel()->GetText(); }

    Skin skin;
    FakeHost host;
    wxFrame* frame;
    wxWeakRef<CAudioBar> bar;
};

} // namespace

TEST_F(AudioBar, StartsUnavailableWithBothButtonsDisabledAndTheSessionRunning)
{
    create();
    EXPECT_EQ(bar->GetState(), CallState::Unavailable);
    EXPECT_EQ(bar->currentContact(), nullptr);
    EXPECT_EQ(buttons(), std::make_pair(false, false));
    EXPECT_EQ(host.starts, 1);
    EXPECT_TRUE(bar->sessionRunning());
    EXPECT_TRUE(host.statusTexts.empty());
    EXPECT_FALSE(bar->segmentBar()->IsShown());
    // 129 by 78 dialog units of the dialogs' font.
    EXPECT_EQ(bar->GetBestSize(), bar->DialogToPixels(wxSize(129, 78)));
}

TEST_F(AudioBar, ASessionThreadThatCannotStartShowsTheSoundCardFailureAndTheBarWorksOn)
{
    for (bool throws : {false, true}) {
        SCOPED_TRACE(throws ? "throws" : "refuses");
        host.sessionStarts = false;
        host.sessionThrows = throws;
        host.statusTexts.clear();
        create();
        EXPECT_FALSE(bar->sessionRunning());
        EXPECT_EQ(host.statusTexts, std::vector<std::string>{"Failed to initialize Sound Card!"});
        EXPECT_EQ(bar->statusLabel()->GetText(), "Failed to initialize Sound Card!");
        Contact bob("bob", true);
        host.selected = &bob;
        bar->SetState(CallState::Idle);
        EXPECT_EQ(buttons(), std::make_pair(true, false));
        bar->Destroy();
        // A thread that never ran is not stopped.
        EXPECT_EQ(host.stops, 0);
    }
}

TEST_F(AudioBar, ButtonsFollowTheCallStateAndInIdleTheSelectedContact)
{
    create();
    Contact online("bob", true);
    Contact offline("carol", false);
    struct Case {
        CallState state;
        IContact* selected;
        bool talk, hangUp;
    };
    const Case cases[] = {
        {CallState::Idle, nullptr, false, false},       {CallState::Idle, &offline, false, false},
        {CallState::Idle, &online, true, false},        {CallState::Connected, &online, false, true},
        {CallState::Calling, &online, false, true},     {CallState::Ringing, nullptr, true, true},
        {CallState::Unavailable, &online, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        host.selected = c.selected;
        bar->SetState(c.state);
        EXPECT_EQ(buttons(), std::make_pair(c.talk, c.hangUp));
    }
    // The selection changes under Idle: the contact view calls UpdateButtons.
    host.selected = nullptr;
    bar->SetState(CallState::Idle);
    EXPECT_FALSE(bar->talkButton()->IsEnabled());
    host.selected = &online;
    bar->UpdateButtons();
    EXPECT_TRUE(bar->talkButton()->IsEnabled());
}

TEST_F(AudioBar, TalkAndHangUpMoveTheStateAsTheCallAllows)
{
    create();
    Contact bob("bob", true);
    host.selected = &bob;
    struct Case {
        CallState from;
        bool talk;
        CallState to;
    };
    const Case cases[] = {
        {CallState::Idle, true, CallState::Calling},         {CallState::Ringing, true, CallState::Connected},
        {CallState::Calling, true, CallState::Calling},      {CallState::Connected, true, CallState::Connected},
        {CallState::Unavailable, true, CallState::Unavailable},
        {CallState::Connected, false, CallState::Idle},      {CallState::Calling, false, CallState::Idle},
        {CallState::Ringing, false, CallState::Idle},        {CallState::Idle, false, CallState::Idle},
        {CallState::Unavailable, false, CallState::Unavailable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.from)) + (c.talk ? " talk" : " hang up"));
        bar->SetState(c.from);
        host.changes.clear();
        if (c.talk)
            bar->OnTalk();
        else
            bar->OnHangUp();
        EXPECT_EQ(bar->GetState(), c.to);
        // Only a move of state tells the module.
        if (c.to != c.from)
            EXPECT_EQ(host.changes, (std::vector<std::pair<CallState, CallState>>{{c.from, c.to}}));
        else
            EXPECT_TRUE(host.changes.empty());
    }
    host.selected = nullptr;
}

TEST_F(AudioBar, AClickOnTalkPlacesTheCall)
{
    create();
    frame->Show();
    Contact bob("bob", true);
    host.selected = &bob;
    bar->SetState(CallState::Idle);
    ASSERT_TRUE(bar->talkButton()->IsEnabled());
    playClick(*bar->talkButton(), clickCases().front());
    EXPECT_EQ(bar->GetState(), CallState::Calling);
    EXPECT_EQ(buttons(), std::make_pair(false, true));
}

TEST_F(AudioBar, TheNameBlinksFourTicksOnAndTwoOffWhileTheRingPlaysAndStaysWhenItStops)
{
    create();
    Contact bob("bob", true);
    bar->setCurrentContact(&bob);
    host.ringing = true;
    std::string shown;
    for (int tick = 0; tick < 12; ++tick) {
        bar->OnTimer();
        shown += name().empty() ? '-' : 'N';
    }
    EXPECT_EQ(shown, "NNNN--NNNN--");
    bar->OnTimer();
    bar->OnTimer();
    ASSERT_EQ(bar->blinkCounter(), 2);
    host.ringing = false;
    for (int tick = 0; tick < 5; ++tick)
        bar->OnTimer();
    EXPECT_EQ(name(), "bob");
    EXPECT_EQ(bar->blinkCounter(), 2);
}

TEST_F(AudioBar, MetersTakeLevelsInPercentClampedToTheirTenStepsAndTheGraphIgnoresNoData)
{
    create();
    EXPECT_EQ(bar->inputMeter()->GetHigh(), 10);
    bar->SetInputLevel(5);
    bar->SetOutputLevel(75);
    EXPECT_EQ(bar->inputMeter()->GetPos(), 5);
    EXPECT_EQ(bar->outputMeter()->GetPos(), 10);

    const uint8_t cells[] = {1, 0, 1};
    bar->SetLevelGraph(cells, 3);
    EXPECT_EQ(bar->segmentBar()->cells(), (std::vector<uint8_t>{1, 0, 1}));
    bar->SetLevelGraph(nullptr, 3);
    bar->SetLevelGraph(cells, 0);
    EXPECT_EQ(bar->segmentBar()->cells(), (std::vector<uint8_t>{1, 0, 1}));
}

TEST_F(AudioBar, WithoutAMixerBothFadersStayDisabled)
{
    create(std::make_shared<MixerWatch>(nullptr));
    EXPECT_FALSE(bar->speakerFader()->IsEnabled());
    EXPECT_FALSE(bar->microphoneFader()->IsEnabled());
    Contact bob("bob", true);
    host.selected = &bob;
    bar->SetState(CallState::Idle);
    EXPECT_TRUE(bar->talkButton()->IsEnabled());
}

TEST_F(AudioBar, DestroyingTheWindowStopsTheSessionThreadOnce)
{
    create();
    bar->Destroy();
    EXPECT_EQ(host.stops, 1);
}

TEST_F(AudioBar, DockedAtTheBottomOfAFrameItShowsItsControls)
{
    // The main frame's column: the contact area above, the bar below.
    frame->SetClientSize(220, 400);
    auto* contacts = new wxPanel(frame, wxID_ANY);
    contacts->SetBackgroundColour(*wxWHITE);
    create();
    const wxSize client = frame->GetClientSize();
    const int barHeight = bar->GetBestSize().GetHeight();
    contacts->SetSize(0, 0, client.x, client.y - barHeight);
    bar->SetSize(0, client.y - barHeight, client.x, barHeight);
    Contact bob("bob", true);
    host.selected = &bob;
    bar->setCurrentContact(&bob);
    bar->SetState(CallState::Ringing);
    bar->SetNameText("bob");
    bar->SetStatusLabel("Call from bob");
    bar->SetInputLevel(40);
    bar->SetOutputLevel(70);
    frame->Show();
    ASSERT_TRUE(waitUntil([&] { return bar->IsShownOnScreen() && bar->talkButton()->IsShownOnScreen(); }));
    wxYield();
    const wxRect area(frame->GetScreenPosition(), frame->GetSize());
    wxImage shot;
    ASSERT_TRUE(waitUntil([&] {
        wxYield();
        shot = screenImage(area);
        return shot.IsOk();
    }));
    const char* dir = std::getenv("ORVANE_SCREENSHOT_DIR");
    shot.SaveFile(std::string(dir && *dir ? dir : "/tmp") + "/callbar.png", wxBITMAP_TYPE_PNG);

    // The bar's background in the skin's colour below the contact area.
    const wxPoint barTopLeft = bar->GetScreenPosition() - area.GetPosition();
    const wxColour background = colourOf(skin.backgroundColor());
    const wxPoint probe = barTopLeft + wxPoint(bar->GetSize().x - 3, bar->GetSize().y / 2);
    EXPECT_EQ(wxColour(shot.GetRed(probe.x, probe.y), shot.GetGreen(probe.x, probe.y), shot.GetBlue(probe.x, probe.y)),
              background);
    // The buttons' pictures, enabled while ringing: the green handset and the red one.
    for (CSkinButton* button : {bar->talkButton(), bar->hangUpButton()}) {
        const wxRect rect = button->GetScreenRect();
        const wxPoint at = rect.GetPosition() - area.GetPosition() + wxPoint(rect.width / 2, rect.height - 6);
        const int r = shot.GetRed(at.x, at.y), g = shot.GetGreen(at.x, at.y), b = shot.GetBlue(at.x, at.y);
        if (button == bar->talkButton())
            EXPECT_TRUE(g > r + 40 && g > b + 40) << r << "," << g << "," << b;
        else
            EXPECT_TRUE(r > g + 40 && r > b + 40) << r << "," << g << "," << b;
    }
}
