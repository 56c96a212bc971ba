#include "resources/ProgramImages.h"
#include "tests/foundation/TempDirectory.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/MessageBoxAnswers.h"
#include "tests/ui/WxClient.h"
#include "ui/CSignInDialog.h"
#include "ui/CSignInProgressPanel.h"
#include "ui/DialogUnits.h"
#include "ui/SignUpHandover.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/ResourceBitmaps.h"

#include <gtest/gtest.h>
#include <wx/display.h>
#include <wx/statbmp.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

ColorRef pixelOf(const wxImage& image, int x, int y)
{
    return colorRefOf(wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)));
}

bool sameImage(const wxImage& a, const wxImage& b)
{
    if (!a.IsOk() || !b.IsOk() || a.GetSize() != b.GetSize())
        return false;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (pixelOf(a, x, y) != pixelOf(b, x, y))
                return false;
    return true;
}

std::string textOf(const wxString& text)
{
    return std::string(text.utf8_str().data());
}

// The panel's client area as the screen shows it.
wxImage shownClient(CSignInProgressPanel& panel)
{
    return screenImage(wxRect(panel.ClientToScreen(wxPoint(0, 0)), panel.GetClientSize()));
}

class ProgressPanel : public ::testing::Test {
protected:
    ProgressPanel()
    {
        registerProgramImages();
        loadInstalledSkin(skin);
        panel = new CSignInProgressPanel(nullptr, skin);
    }
    ~ProgressPanel() override
    {
        delete panel;
        wxTheApp->ProcessPendingEvents();
    }

    Skin skin;
    CSignInProgressPanel* panel;
};

} // namespace

TEST_F(ProgressPanel, ShowsCentredOnTheScreenWithBannerConnectingAndStrip)
{
    EXPECT_FALSE(panel->IsShown()) << "made hidden";
    const DialogUnits units = DialogUnits::of(*panel);
    const wxRect area = panel->templateArea();
    EXPECT_EQ(area.GetSize(), units.toPixels(wxSize(112, 35)));
    EXPECT_EQ(panel->GetClientSize(), area.GetSize() + wxSize(2, 2)) << "a one-pixel border round it";

    panel->showCentred();
    EXPECT_TRUE(panel->IsShown());
    EXPECT_TRUE(panel->isAnimating());
    EXPECT_EQ(panel->statusText(), "Connecting...");
    const wxRect screen = wxDisplay(0u).GetGeometry();
    const wxRect shown = panel->GetScreenRect();
    EXPECT_NEAR(shown.GetLeft() + shown.GetWidth() / 2.0, screen.GetWidth() / 2.0, 1.0);
    EXPECT_NEAR(shown.GetTop() + shown.GetHeight() / 2.0, screen.GetHeight() / 2.0, 1.0);

    // Inside the black border: 14 pixels of dark blue banner with light text at its left, the
    // status line on the skin's background, 14 pixels of dark red strip.
    const wxSize client = panel->GetClientSize();
    const int top = area.GetTop();
    const int bottom = area.GetBottom();
    wxImage image;
    ASSERT_TRUE(waitUntil([&] {
        image = shownClient(*panel);
        return image.IsOk() && pixelOf(image, area.GetRight() - 1, top + 1) == 0x800000 &&
               pixelOf(image, area.GetRight() - 1, bottom - 1) == 0x1E1E78;
    })) << "the panel never showed";
    for (int x : {area.GetLeft(), area.GetRight()}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(pixelOf(image, x, top + 13), 0x800000u) << "the banner's last row";
        EXPECT_EQ(pixelOf(image, x, top + 14), skin.backgroundColor()) << "below the banner";
        EXPECT_EQ(pixelOf(image, x, bottom - 13), 0x1E1E78u) << "the strip's first row";
        EXPECT_EQ(pixelOf(image, x, bottom - 14), skin.backgroundColor()) << "above the strip";
    }
    for (const wxPoint& p : {wxPoint(0, 0), wxPoint(client.GetWidth() - 1, client.GetHeight() / 2),
                             wxPoint(client.GetWidth() / 2, client.GetHeight() - 1), wxPoint(0, top + 5)})
        EXPECT_EQ(pixelOf(image, p.x, p.y), 0u) << "the border at " << p.x << "," << p.y;
    int lightLeft = -1;
    for (int x = area.GetLeft(); x <= area.GetRight() && lightLeft < 0; ++x)
        for (int y = top; y < top + 14; ++y)
            if (image.GetRed(x, y) > 200 && image.GetGreen(x, y) > 200 && image.GetBlue(x, y) > 200) {
                lightLeft = x;
                break;
            }
    EXPECT_GE(lightLeft, area.GetLeft()) << "light text in the banner";
    EXPECT_LT(lightLeft, client.GetWidth() / 4) << "left-aligned";
    EXPECT_EQ(panel->banner().GetText(), "Orvane messenger");
    EXPECT_TRUE(panel->bottomStrip().GetText().empty());
}

TEST_F(ProgressPanel, TheAnimationShowsTheTwelveFramesInTurnAndWrapsEveryTwelveHundredMilliseconds)
{
    // There is no 164.
    const int frameIds[] = {162, 163, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174};
    for (int i = 0; i < CSignInProgressPanel::FrameCount; ++i)
        EXPECT_TRUE(sameImage(panel->frame(i).ConvertToImage(), resourceBitmap(frameIds[i]).ConvertToImage()))
            << "frame " << i;
    EXPECT_EQ(panel->frameIndex(), 0);

    // Each tick is seen as it comes, whatever the load: a poll of the index could take
    // several queued ticks at once.
    std::vector<int> found;                                    // the index each tick finds
    std::vector<std::chrono::steady_clock::time_point> when;   // and when it came
    panel->Bind(wxEVT_TIMER, [&](wxTimerEvent& event) {
        found.push_back(panel->frameIndex());
        when.push_back(std::chrono::steady_clock::now());
        event.Skip();
    });
    const auto start = std::chrono::steady_clock::now();
    panel->showCentred();
    ASSERT_TRUE(waitUntil([&] { return found.size() >= 13; }, std::chrono::seconds(30)));
    for (int tick = 0; tick <= 12; ++tick)
        EXPECT_EQ(found[static_cast<size_t>(tick)], tick % 12) << "one frame a tick, tick " << tick;
    EXPECT_TRUE(sameImage(panel->picture().GetBitmap().ConvertToImage(),
                          panel->frame(panel->frameIndex()).ConvertToImage()));
    // Twelve ticks come round again; a loaded machine may make them late, never early.
    const auto elapsed = when[12] - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1150));
    EXPECT_LT(elapsed, std::chrono::milliseconds(10000));

    // Stopped, the picture keeps its frame, and the screen shows it.
    ASSERT_TRUE(waitUntil([&] { return panel->frameIndex() == 5; }, std::chrono::seconds(3)));
    panel->StopAnimation();
    EXPECT_FALSE(panel->isAnimating());
    const wxRect picture(panel->picture().GetScreenPosition(), panel->picture().GetSize());
    const wxImage expected = panel->frame(5).ConvertToImage();
    EXPECT_TRUE(waitUntil([&] { return sameImage(screenImage(picture), expected); }))
        << "the screen shows frame 5";
    EXPECT_EQ(panel->frameIndex(), 5);
}

TEST_F(ProgressPanel, StartingTwiceKeepsOneTimerAndStoppingHoldsTheFrame)
{
    panel->StartAnimation();
    panel->StartAnimation();
    std::vector<int> seen{panel->frameIndex()};
    while (seen.size() < 4) {
        ASSERT_TRUE(waitUntil([&] { return panel->frameIndex() != seen.back(); }, std::chrono::seconds(3)));
        seen.push_back(panel->frameIndex());
    }
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], (seen[i - 1] + 1) % 12) << "no tick is doubled";

    panel->StopAnimation();
    panel->StopAnimation();
    const int held = panel->frameIndex();
    // Three intervals and more: a running timer would have moved it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(350);
    waitUntil([&] { return std::chrono::steady_clock::now() >= until; });
    EXPECT_EQ(panel->frameIndex(), held);
    EXPECT_FALSE(panel->isAnimating());
}

TEST_F(ProgressPanel, StatusTextsFromSeveralThreadsWhileAnimatingEndWithTheLastOne)
{
    panel->showCentred();
    constexpr int Threads = 4;
    constexpr int Texts = 300;
    std::atomic<bool> go{false};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            for (int k = 0; k < Texts; ++k) {
                String text;
                // Texts of many lengths, so that buffers are grown and given back meanwhile.
                text.format("thread %d text %d %s", t, k, std::string(static_cast<size_t>(k % 97), 'x').c_str());
                panel->SetStatusText(text);
            }
            ++done;
        });
    const int frameBefore = panel->frameIndex();
    go = true;
    // The user-interface thread shows texts and frames while the threads set theirs.
    std::vector<std::string> shown;
    EXPECT_TRUE(waitUntil([&] {
        const std::string now = textOf(panel->statusText());
        if (shown.empty() || shown.back() != now)
            shown.push_back(now);
        return done.load() == Threads;
    }, std::chrono::seconds(30)));
    for (std::thread& thread : threads)
        thread.join();
    wxTheApp->ProcessPendingEvents();
    for (const std::string& text : shown)
        EXPECT_TRUE(text == "Connecting..." || text.rfind("thread ", 0) == 0) << text;
    const std::string last = textOf(panel->statusText());
    EXPECT_NE(last.find(" text 299 "), std::string::npos) << "a thread's last text stays: " << last;
    EXPECT_TRUE(panel->isAnimating());
    EXPECT_TRUE(waitUntil([&] { return panel->frameIndex() != frameBefore; }));

    // One thread in quick succession: the last of its texts is what stays.
    std::thread worker([&] {
        for (int k = 1; k <= 500; ++k)
            panel->SetStatusText(String().format("step %d", k));
    });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return panel->statusText() == "step 500"; }));
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(panel->statusText(), "step 500");
}

TEST_F(ProgressPanel, ATextSetLaterOnTheUserInterfaceThreadIsNotUndoneByAnEarlierOneStillOnItsWay)
{
    panel->showCentred();
    std::thread worker([&] { panel->SetStatusText("Signing in..."); });
    worker.join();
    // The worker's text waits in the queue; this one is shown at once.
    panel->SetStatusText("Signed in.");
    EXPECT_EQ(panel->statusText(), "Signed in.");
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(panel->statusText(), "Signed in.") << "the earlier text came late and was dropped";

    std::thread later([&] { panel->SetStatusText("Connecting again"); });
    later.join();
    EXPECT_TRUE(waitUntil([&] { return panel->statusText() == "Connecting again"; }));
}

TEST_F(ProgressPanel, HidingStopsTheAnimationHidesAndEmptiesTheStatusLine)
{
    panel->showCentred();
    panel->SetStatusText("Signing in...");
    panel->hideAndClear();
    EXPECT_FALSE(panel->IsShown());
    EXPECT_FALSE(panel->isAnimating());
    EXPECT_EQ(panel->statusText(), "");

    panel->showCentred();
    EXPECT_TRUE(panel->IsShown());
    EXPECT_TRUE(panel->isAnimating());
    EXPECT_EQ(panel->statusText(), "Connecting...") << "each attempt starts afresh";
}

// ---- the whole sign-in -------------------------------------------------------------------

namespace {

// The application's user interface with the real sign-in windows: the progress panel and the
// sign-in dialog, run modally; the rest is recorded.
class SignInWindowsUi : public RecordingUi, public SignUpHandover {
public:
    SignInWindowsUi(LineLog& log, CSignInProgressPanel& panel, Skin& skin)
        : RecordingUi(log), panel_(panel), skin_(skin)
    {
    }

    // Runs inside the sign-in dialog once it is shown; it should end the dialog.
    std::function<void(CSignInDialog&)> insideDialog;
    bool firstSignIn = true;
    // What the status line showed, each change once.
    std::vector<std::string> texts;
    bool shownAnimating = false;

    bool askForSignIn(String& userName, String& password, bool& makeDefault) override
    {
        RecordingUi::askForSignIn(userName, password, makeDefault);
        CSignInDialog dialog(nullptr, skin_, *this, firstSignIn);
        dialog.CallAfter([this, &dialog] {
            waitUntil([&dialog] { return dialog.IsShownOnScreen(); });
            if (insideDialog)
                insideDialog(dialog);
            if (dialog.IsModal()) {
                ADD_FAILURE() << "the sign-in dialog is still open";
                dialog.EndModal(wxID_ABORT);
            }
        });
        if (dialog.ShowModal() != wxID_OK)
            return false;
        userName = dialog.userName();
        password = dialog.password();
        makeDefault = dialog.makeDefault();
        return true;
    }
    bool signUp(wxWindow&) override { return false; }
    void signInNewAccount() override {}

    void showProgressPanel() override
    {
        RecordingUi::showProgressPanel();
        panel_.showCentred();
        shownAnimating = panel_.IsShown() && panel_.isAnimating();
        note();
    }
    void hideProgressPanel() override
    {
        RecordingUi::hideProgressPanel();
        panel_.hideAndClear();
        note();
    }
    void showProgressText(const String& text) override
    {
        RecordingUi::showProgressText(text);
        panel_.SetStatusText(text);
        note();
    }

private:
    void note()
    {
        const std::string now = textOf(panel_.statusText());
        if (texts.empty() || texts.back() != now)
            texts.push_back(now);
    }

    CSignInProgressPanel& panel_;
    Skin& skin_;
};

// A real server that knows alice and bob, and an application on the test's thread whose
// sign-in windows are the real ones.
class SignInWithPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerProgramImages();
        loadInstalledSkin(skin);
        panel = new CSignInProgressPanel(nullptr, skin);
        ui = std::make_unique<SignInWindowsUi>(log, *panel, skin);
        ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost",
                                  "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw"}));
        folders = std::make_unique<ClientFolders>("http://127.0.0.1:" + std::to_string(server.httpPort()) + "/");
        runtime = std::make_unique<ScopedEnv>("ORVANE_RUNTIME_DIR", folders->runtimeDir.c_str());
        registry = std::make_unique<ScopedEnv>("ORVANE_REGISTRY_DIR", folders->registryDir.c_str());
    }

    void TearDown() override
    {
        if (app) {
            wxTheApp->Unbind(wxEVT_IDLE, &SignInWithPanel::onIdle, this);
            if (started)
                app->exitInstance();
            app.reset();
        }
        wxTheApp->ProcessPendingEvents();
        delete panel;
        wxTheApp->ProcessPendingEvents();
    }

    void start()
    {
        ClientAppOptions options;
        options.programFolder = (folders->programFolder + "/").c_str();
        options.configHome = folders->configHome.c_str();
        app = std::make_unique<ClientApp>(*ui, port, options);
        port.setMessageHandler([this](int id, intptr_t wParam, intptr_t lParam) {
            if (app)
                app->onThreadMessage(id, wParam, lParam);
        });
        wxTheApp->Bind(wxEVT_IDLE, &SignInWithPanel::onIdle, this);
        started = app->initInstance();
    }

    void onIdle(wxIdleEvent& event)
    {
        if (app && started)
            app->onIdle();
        event.Skip();
    }

    // Signed in, and the panel gone with its line emptied.
    void expectSignedInAndPanelHidden()
    {
        ASSERT_TRUE(waitUntil([this] { return app->connection().isConnected() && !panel->IsShown(); },
                              std::chrono::seconds(15)))
            << "signed in: " << app->connection().isConnected() << ", panel shown: " << panel->IsShown()
            << "\nserver log:\n" << server.log() << "\ncalls:\n" << log.dump();
        EXPECT_FALSE(panel->isAnimating());
        EXPECT_EQ(panel->statusText(), "");
        ASSERT_FALSE(ui->texts.empty());
        EXPECT_EQ(ui->texts.front(), "Connecting...");
        EXPECT_EQ(ui->texts.back(), "");
        for (const std::string& text : ui->texts)
            EXPECT_TRUE(text == "Connecting..." || text == "Signing in..." || text == "Signed in." || text.empty())
                << text;
    }

    Skin skin;
    CSignInProgressPanel* panel = nullptr;
    LineLog log;
    std::unique_ptr<SignInWindowsUi> ui;
    MessageBoxAnswers boxes;
    ServerProcess server;
    std::unique_ptr<ClientFolders> folders;
    std::unique_ptr<ScopedEnv> runtime;
    std::unique_ptr<ScopedEnv> registry;
    WxUiThreadPort port;
    std::unique_ptr<ClientApp> app;
    bool started = false;
};

} // namespace

TEST_F(SignInWithPanel, AStoredAccountSignsInBehindThePanelWhichGoesOnceSignedIn)
{
    folders->writeAccount("alice", "alice-pw");
    start();
    ASSERT_TRUE(started);
    EXPECT_EQ(log.count("sign-in-dialog"), 0u) << "no dialog with a stored account";
    EXPECT_TRUE(ui->shownAnimating) << "the panel shows and animates at once";
    EXPECT_TRUE(panel->IsShown()) << "still there while the connection thread signs in";
    expectSignedInAndPanelHidden();
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SignInWithPanel, WithoutAnAccountTheDialogAsksAndThePanelFollowsItsSignIn)
{
    bool panelShownDuringDialog = true;
    bool makeDefaultStartedSet = false;
    ui->insideDialog = [&](CSignInDialog& dialog) {
        panelShownDuringDialog = panel->IsShown();
        makeDefaultStartedSet = dialog.makeDefaultBox().GetCheck();
        dialog.userNameEdit().SetValue("bob");
        dialog.passwordEdit().SetValue("bob-pw");
        const wxSize size = dialog.signInButton().GetClientSize();
        sendMouse(dialog.signInButton(), wxEVT_LEFT_DOWN, size.GetWidth() / 2, size.GetHeight() / 2, true);
        sendMouse(dialog.signInButton(), wxEVT_LEFT_UP, size.GetWidth() / 2, size.GetHeight() / 2, false);
    };
    start();
    ASSERT_TRUE(started);
    EXPECT_EQ(log.count("sign-in-dialog"), 1u);
    EXPECT_FALSE(panelShownDuringDialog) << "the panel comes after the dialog";
    EXPECT_TRUE(makeDefaultStartedSet) << "the first sign-in";
    EXPECT_TRUE(ui->shownAnimating);
    expectSignedInAndPanelHidden();
    EXPECT_STREQ(app->account().userName.c_str(), "bob");
    // The default account is written once the server confirms the sign-in.
    EXPECT_TRUE(waitUntil([this] { return readBytes(app->paths().accountPath.c_str()).find("bob") != std::string::npos; }))
        << "the make-default choice reached the application";
}

TEST_F(SignInWithPanel, CancellingTheDialogLeavesThePanelHiddenAndTheProgramSignedOut)
{
    ui->insideDialog = [](CSignInDialog& dialog) {
        const wxSize size = dialog.cancelButton().GetClientSize();
        sendMouse(dialog.cancelButton(), wxEVT_LEFT_DOWN, size.GetWidth() / 2, size.GetHeight() / 2, true);
        sendMouse(dialog.cancelButton(), wxEVT_LEFT_UP, size.GetWidth() / 2, size.GetHeight() / 2, false);
    };
    start();
    ASSERT_TRUE(started);
    EXPECT_EQ(log.count("sign-in-dialog"), 1u);
    EXPECT_EQ(log.count("progress-show"), 0u);
    EXPECT_FALSE(panel->IsShown());
    EXPECT_FALSE(app->connection().isConnected());
}
