// The tray icon against a real tray: trayer on the test's display. What is docked is read
// from the X server (the tray's windows) and from GTK (the status icon's tooltip); clicks go
// through the X server to where the icon lies on the screen.

#include "core/app/ThreadMessages.h"
#include "resources/ResourceIds.h"
#include "tests/ui/PixelProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/ui/TrayHost.h"
#include "ui/CSystemTray.h"
#include "ui/kit/PostedMessage.h"
#include "ui/kit/ResourceBitmaps.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int TrayNotify = ThreadMessage::TrayNotify;
constexpr int OtherIcon = 9105;
constexpr int UnknownIcon = 9999;
constexpr ColorRef Red = 0x0000ff;
constexpr ColorRef Green = 0x00ff00;

struct Notice {
    int iconId;
    long action;
};

class SystemTray : public ::testing::Test {
protected:
    SystemTray() : savedProgramIcon_(resourceBitmap(IconProgram))
    {
        registerResourceBitmap(IconProgram, filledBitmap(16, 16, Red));
        registerResourceBitmap(OtherIcon, filledBitmap(16, 16, Green));
        frame = new wxFrame(nullptr, wxID_ANY, "main", wxPoint(0, 0), wxSize(200, 200));
        // Shown: wx's input simulation takes the display's scale from a shown window.
        frame->Show();
        frame->Bind(
            EVT_POSTED_MESSAGE, [this](wxCommandEvent& e) { notices.push_back({e.GetInt(), e.GetExtraLong()}); },
            TrayNotify);
    }
    ~SystemTray() override
    {
        tray.reset();
        frame->Destroy();
        registerResourceBitmap(IconProgram, savedProgramIcon_);
    }

    // As start-up makes it.
    bool createAsTheProgramDoes(bool hidden = false)
    {
        const bool created = tray->Create(frame, TrayNotify, "Orvane", wxNullBitmap, TrayIconId, hidden);
        tray->SetIcon(IconProgram);
        return created;
    }

    // The one status icon of this process, once the tray has docked it.
    bool awaitDocked()
    {
        return waitUntil([this] {
            const auto icons = statusIconWindows();
            if (icons.size() != 1)
                return false;
            const auto docked = host.dockedWindows();
            return std::find(docked.begin(), docked.end(), icons[0].window) != docked.end();
        });
    }

    // Puts the pointer on the middle of the docked icon and answers once the X server has it
    // there: the tray may still be moving the icon into its place.
    bool pointAtIcon()
    {
        return waitUntil([this] {
            const auto docked = host.dockedWindows();
            if (docked.size() != 1)
                return false;
            if (host.pointerWithin(docked[0]))
                return true;
            const wxRect r = host.screenRect(docked[0]);
            mouse.MouseMove(r.x + r.width / 2, r.y + r.height / 2);
            return false;
        });
    }

    // Takes the pointer off the tray. GDK remembers the tray's window under the pointer; when
    // the icon there goes and another docks under the pointer, it asks the X server about
    // that window, which may be gone, and GDK ends the program on the error. The program
    // keeps one icon for its life; only tests make icon after icon.
    void pointerAway()
    {
        const wxPoint away(100, 500);
        mouse.MouseMove(away);
        waitUntil([&] { return wxGetMousePosition() == away; });
        // Let GDK take in the pointer's leaving.
        waitUntil([] { return false; }, std::chrono::milliseconds(50));
    }

    std::string shownTooltip()
    {
        const auto icons = statusIconWindows();
        return icons.size() == 1 ? icons[0].tooltip : "(" + std::to_string(icons.size()) + " status icons)";
    }

    // The colour in the middle of the docked icon, as the screen shows it.
    ColorRef shownColour()
    {
        const auto docked = host.dockedWindows();
        if (docked.size() != 1)
            return 0xdeadbeef;
        const wxRect r = host.screenRect(docked[0]);
        const wxImage shot = screenImage(wxRect(r.x + r.width / 2, r.y + r.height / 2, 1, 1));
        return shot.IsOk() ? colorRefOf(wxColour(shot.GetRed(0, 0), shot.GetGreen(0, 0), shot.GetBlue(0, 0)))
                           : 0xdeadbeef;
    }

    TrayHost host;
    wxUIActionSimulator mouse;
    wxFrame* frame;
    std::unique_ptr<CSystemTray> tray = std::make_unique<CSystemTray>();
    std::vector<Notice> notices;

private:
    wxBitmap savedProgramIcon_;
};

class SystemTrayWithHost : public SystemTray {
protected:
    void SetUp() override { ASSERT_TRUE(host.start()); }
    void TearDown() override { pointerAway(); }
};

} // namespace

TEST_F(SystemTrayWithHost, CreateDocksTheIconWithItsTooltipInTheTray)
{
    ASSERT_TRUE(createAsTheProgramDoes());
    EXPECT_TRUE(tray->IsEnabled());
    EXPECT_FALSE(tray->IsHidden());
    EXPECT_FALSE(tray->IsRemoved());
    EXPECT_TRUE(tray->HasTray());
    ASSERT_TRUE(awaitDocked());
    EXPECT_EQ(shownTooltip(), "Orvane");
    EXPECT_TRUE(waitUntil([this] { return shownColour() == Red; })) << std::hex << shownColour();
}

TEST_F(SystemTrayWithHost, TooltipsAreCutTo127Characters)
{
    const wxString accented = wxString::FromUTF8("\xc3\xa4");
    const struct {
        const char* what;
        wxString given;
        wxString kept;
    } cases[] = {
        {"127 stay", wxString('a', 127), wxString('a', 127)},
        {"128 lose the last", wxString('a', 127) + "b", wxString('a', 127)},
        {"characters, not bytes", wxString(accented[0], 200), wxString(accented[0], 127)},
        {"empty", wxString(), wxString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSystemTray cut;
        ASSERT_TRUE(cut.Create(frame, TrayNotify, c.given, filledBitmap(16, 16, Red), TrayIconId, false));
        EXPECT_EQ(cut.GetTooltip(), c.kept);
        EXPECT_EQ(shownTooltip(), std::string(c.kept.utf8_str()));
        // Docked before it goes, as in the program: GTK does not survive an icon taken away
        // while the tray is still docking it.
        EXPECT_TRUE(awaitDocked());
    }
}

TEST_F(SystemTrayWithHost, SetIconWhileHiddenStoresTheIconWithoutShowingIt)
{
    ASSERT_TRUE(tray->Create(frame, TrayNotify, "Orvane", wxNullBitmap, TrayIconId, true));
    EXPECT_TRUE(tray->IsHidden());
    EXPECT_TRUE(tray->IsRemoved());
    EXPECT_FALSE(tray->HasTray());

    EXPECT_TRUE(tray->SetIcon(OtherIcon));
    EXPECT_EQ(pixelAt(tray->GetIcon(), 8, 8), Green);
    // GTK makes a status icon's window at once, so its absence is final.
    EXPECT_TRUE(statusIconWindows().empty());
    EXPECT_TRUE(host.dockedWindows().empty());
}

TEST_F(SystemTrayWithHost, SetIconChangesTheShownPictureAndRefusesUnknownIds)
{
    ASSERT_TRUE(createAsTheProgramDoes());
    ASSERT_TRUE(awaitDocked());
    ASSERT_TRUE(waitUntil([this] { return shownColour() == Red; }));

    EXPECT_FALSE(tray->SetIcon(UnknownIcon));
    EXPECT_EQ(pixelAt(tray->GetIcon(), 8, 8), Red);

    EXPECT_TRUE(tray->SetIcon(OtherIcon));
    EXPECT_TRUE(waitUntil([this] { return shownColour() == Green; })) << std::hex << shownColour();
    EXPECT_EQ(shownTooltip(), "Orvane");
}

TEST_F(SystemTrayWithHost, RemoveIconUndocksItOnce)
{
    ASSERT_TRUE(createAsTheProgramDoes());
    ASSERT_TRUE(awaitDocked());

    EXPECT_TRUE(tray->RemoveIcon());
    EXPECT_TRUE(tray->IsHidden());
    EXPECT_TRUE(tray->IsRemoved());
    EXPECT_FALSE(tray->HasTray());
    EXPECT_TRUE(statusIconWindows().empty());
    EXPECT_TRUE(waitUntil([this] { return host.dockedWindows().empty(); }));

    EXPECT_FALSE(tray->RemoveIcon());
}

TEST_F(SystemTrayWithHost, DestroyingTheTrayObjectUndocksTheIcon)
{
    ASSERT_TRUE(createAsTheProgramDoes());
    ASSERT_TRUE(awaitDocked());
    tray.reset();
    EXPECT_TRUE(statusIconWindows().empty());
    EXPECT_TRUE(waitUntil([this] { return host.dockedWindows().empty(); }));
}

TEST_F(SystemTrayWithHost, TheIconComesBackWithItsPictureAndTooltipWhenTheTrayRestarts)
{
    ASSERT_TRUE(createAsTheProgramDoes());
    ASSERT_TRUE(awaitDocked());

    host.stop();
    EXPECT_FALSE(tray->HasTray());
    ASSERT_TRUE(host.start());

    ASSERT_TRUE(awaitDocked());
    EXPECT_EQ(shownTooltip(), "Orvane");
    EXPECT_TRUE(waitUntil([this] { return shownColour() == Red; })) << std::hex << shownColour();
    EXPECT_TRUE(tray->HasTray());
    EXPECT_FALSE(tray->IsHidden());
}

TEST_F(SystemTray, WithoutATrayNothingIsShownAndEveryOperationAnswersFalse)
{
    EXPECT_FALSE(createAsTheProgramDoes());
    EXPECT_FALSE(tray->IsEnabled());
    EXPECT_TRUE(tray->IsHidden());
    EXPECT_TRUE(tray->IsRemoved());
    EXPECT_FALSE(tray->HasTray());
    EXPECT_FALSE(tray->SetIcon(OtherIcon));
    EXPECT_FALSE(tray->SetIcon(UnknownIcon));
    tray->InstallIconPending();
    EXPECT_TRUE(statusIconWindows().empty());
    EXPECT_FALSE(tray->RemoveIcon());
    EXPECT_FALSE(tray->Create(frame, TrayNotify, "again", wxNullBitmap, TrayIconId, false));
}

TEST_F(SystemTray, ATrayThatAppearsLaterReceivesTheIconUnlessItWasCreatedHidden)
{
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "created hidden" : "created shown");
        tray = std::make_unique<CSystemTray>();
        EXPECT_FALSE(createAsTheProgramDoes(hidden));
        EXPECT_FALSE(tray->SetIcon(OtherIcon));
        ASSERT_TRUE(host.start());
        ASSERT_TRUE(waitUntil([this] { return tray->IsEnabled(); }));
        if (hidden) {
            EXPECT_TRUE(tray->IsHidden());
            EXPECT_TRUE(statusIconWindows().empty());
        } else {
            ASSERT_TRUE(awaitDocked());
            EXPECT_EQ(shownTooltip(), "Orvane");
            EXPECT_TRUE(waitUntil([this] { return shownColour() == Green; })) << std::hex << shownColour();
            EXPECT_FALSE(tray->IsHidden());
            EXPECT_TRUE(tray->HasTray());
            // Added late, it is still taken away at the end.
            EXPECT_TRUE(tray->RemoveIcon());
            EXPECT_TRUE(statusIconWindows().empty());
        }
        tray.reset();
        host.stop();
    }
}

TEST_F(SystemTrayWithHost, MouseButtonsOnTheDockedIconReachTheCallbackWindow)
{
    ASSERT_TRUE(createAsTheProgramDoes());
    ASSERT_TRUE(awaitDocked());

    const struct {
        const char* what;
        int button;
        bool twice;
        std::vector<long> actions;
    } cases[] = {
        {"left click", wxMOUSE_BTN_LEFT, false, {TrayMouse::LeftDown, TrayMouse::LeftUp}},
        {"right click", wxMOUSE_BTN_RIGHT, false, {TrayMouse::RightDown, TrayMouse::RightUp}},
        {"middle click", wxMOUSE_BTN_MIDDLE, false, {TrayMouse::MiddleDown, TrayMouse::MiddleUp}},
        {"left double click",
         wxMOUSE_BTN_LEFT,
         true,
         {TrayMouse::LeftDown, TrayMouse::LeftUp, TrayMouse::LeftDown, TrayMouse::LeftDoubleClick, TrayMouse::LeftUp}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(pointAtIcon());
        notices.clear();
        if (c.twice)
            mouse.MouseDblClick(c.button);
        else
            mouse.MouseClick(c.button);
        EXPECT_TRUE(waitUntil([&] { return notices.size() >= c.actions.size(); }));
        // A moment more for messages beyond the expected ones, which would be faults.
        waitUntil([] { return false; }, std::chrono::milliseconds(100));
        std::vector<long> actions;
        for (const Notice& n : notices) {
            EXPECT_EQ(n.iconId, TrayIconId);
            actions.push_back(n.action);
        }
        EXPECT_EQ(actions, c.actions);
    }
}

TEST_F(SystemTrayWithHost, WithoutACallbackWindowTheTrayObjectGetsTheMessagesAndAGoneWindowGetsNone)
{
    auto own = std::make_unique<CSystemTray>();
    ASSERT_TRUE(own->Create(nullptr, TrayNotify, "own", filledBitmap(16, 16, Green), TrayIconId, false));
    std::vector<long> ownActions;
    own->Bind(EVT_POSTED_MESSAGE, [&](wxCommandEvent& e) { ownActions.push_back(e.GetExtraLong()); }, TrayNotify);
    ASSERT_TRUE(awaitDocked());
    ASSERT_TRUE(pointAtIcon());
    mouse.MouseClick(wxMOUSE_BTN_LEFT);
    EXPECT_TRUE(waitUntil([&] { return ownActions.size() == 2; }));
    pointerAway();
    own.reset();

    // The callback window destroyed while the icon stays: the clicks go nowhere (and touch
    // nothing that is gone).
    auto* doomed = new wxFrame(nullptr, wxID_ANY, "doomed");
    std::vector<long> doomedActions;
    doomed->Bind(EVT_POSTED_MESSAGE, [&](wxCommandEvent& e) { doomedActions.push_back(e.GetExtraLong()); },
                 TrayNotify);
    ASSERT_TRUE(tray->Create(doomed, TrayNotify, "Orvane", filledBitmap(16, 16, Red), TrayIconId, false));
    ASSERT_TRUE(awaitDocked());
    wxWeakRef<wxFrame> gone(doomed);
    doomed->Destroy();
    ASSERT_TRUE(waitUntil([&] { return !gone; }));
    ASSERT_TRUE(pointAtIcon());
    mouse.MouseClick(wxMOUSE_BTN_LEFT);
    waitUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_TRUE(doomedActions.empty());
    EXPECT_TRUE(notices.empty());
}
