// The update program's window on a display: its titles while it downloads from nginx on
// loopback, the box of each failure (and the old program left byte for byte), and the program
// itself as a process: too few arguments, and its wait for the main program to end.

#include "foundation/ApplicationIPC.h"
#include "tests/foundation/TempDirectory.h"
#include "tests/foundation/ThreadTestSupport.h"
#include "tests/network/NginxServer.h"
#include "tests/support/RawLoopback.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/MessageBoxAnswers.h"
#include "tests/ui/ProgramWindows.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/updater/UpdateFixtures.h"
#include "updater/CPercentProgress.h"
#include "updater/CUpdaterDialog.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The window, with every title it is given kept in order and its end noted, both outside it
// since it destroys itself.
class WatchedDialog : public CUpdaterDialog {
public:
    WatchedDialog(const std::string& url, const std::string& target, std::vector<std::string>& titles, bool& gone)
        : CUpdaterDialog(url, target), titles_(titles), gone_(gone)
    {
    }
    ~WatchedDialog() override { gone_ = true; }

    void SetTitle(const wxString& title) override
    {
        titles_.push_back(title.utf8_str().data());
        CUpdaterDialog::SetTitle(title);
    }

private:
    std::vector<std::string>& titles_;
    bool& gone_;
};

class UpdaterWindowTest : public ::testing::Test {
protected:
    UpdaterWindowTest() : nginx_("")
    {
        nginx_.putFile("orvane", newProgram());
        writeBytes(target_, OldProgram, 0755);
    }

    // Shows the window, runs its download and waits until the window has ended; the titles.
    std::vector<std::string> runWindow(const std::string& url, const std::string& target)
    {
        bool gone = false;
        std::vector<std::string> titles;
        auto* dialog = new WatchedDialog(url, target, titles, gone);
        dialog->Show();
        dialog->StartDownload();
        EXPECT_TRUE(waitUntil([&] { return gone; }, std::chrono::seconds(20))) << "the window ends by itself";
        if (!gone) {
            dialog->Destroy();
            waitUntil([&] { return gone; });
        }
        return titles;
    }

    void expectOldProgramAsItWas()
    {
        EXPECT_EQ(readBytes(target_), OldProgram);
        EXPECT_FALSE(fileExists(target_ + ".tmp"));
        EXPECT_FALSE(fileExists(target_ + ".ran")) << "nothing was started";
    }

    NginxServer nginx_;
    TempDirectory folder_;
    std::string target_ = folder_ / "orvane";
};

} // namespace

TEST_F(UpdaterWindowTest, ShowsItsPartsThenCountsThePercentInItsTitleAndStartsTheNewProgram)
{
    ASSERT_TRUE(nginx_.ok());
    bool gone = false;
    std::vector<std::string> unused;
    {
        WatchedDialog dialog(nginx_.url("/orvane"), target_, unused, gone);
        EXPECT_EQ(dialog.GetTitle(), "Updater");
        std::vector<wxString> labels;
        for (wxWindow* child : dialog.GetChildren())
            if (dynamic_cast<wxStaticText*>(child) || dynamic_cast<wxButton*>(child))
                labels.push_back(child->GetLabel());
        EXPECT_EQ(labels, (std::vector<wxString>{"Downloading update...", "", "Stop"}));
        EXPECT_EQ(dialog.progress().GetPos(), 0);
        EXPECT_EQ(dialog.progress().Percent(), 0);
        EXPECT_EQ(dialog.progress().GetId(), 1003);
    }

    MessageBoxAnswers boxes;
    const std::vector<std::string> titles = runWindow(nginx_.url("/orvane"), target_);
    EXPECT_EQ(titles, (std::vector<std::string>{"41 % Update Orvane", "83 % Update Orvane", "100 % Update Orvane"}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(readBytes(target_), newProgram());
    ASSERT_TRUE(waitUntil([&] { return fileExists(target_ + ".ran"); }, std::chrono::seconds(10)))
        << "the new program was started";
    EXPECT_EQ(readBytes(target_ + ".ran"), "new\n");
}

TEST_F(UpdaterWindowTest, EachFailureSaysSoInItsBoxAndLeavesTheOldProgramByteForByte)
{
    ASSERT_TRUE(nginx_.ok());
    // A peer that announces 12 000 bytes, sends 7 000 and hangs up.
    uint16_t cutPort = 0;
    const int listener = listenOnLoopback(cutPort);
    ASSERT_GE(listener, 0);
    std::thread cutter([listener] {
        const int connection = ::accept(listener, nullptr, nullptr);
        char request[4096];
        (void)::read(connection, request, sizeof request);
        const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 12000\r\n\r\n" + newProgram().substr(0, 7000);
        (void)::write(connection, answer.data(), answer.size());
        ::close(connection);
    });
    const std::string cutUrl = "http://127.0.0.1:" + std::to_string(cutPort) + "/orvane";
    const std::string missingUrl = nginx_.url("/missing");
    const std::string noListener = "http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/orvane";

    struct Case {
        const char* what;
        std::string url;
        std::function<void()> before;
        std::function<void()> after;
        std::string text;
        bool progressShown = false;
    };
    rlimit oldLimit {};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    const Case cases[] = {
        {"404", missingUrl, {}, {}, "Cannot download file:\n[" + missingUrl + "]"},
        {"a download cut short", cutUrl, {}, {}, "Cannot download file:\n[" + cutUrl + "]", true},
        {"no endpoint", noListener, {}, {}, "Cannot download file:\n[" + noListener + "]"},
        // Even root cannot make a file where a folder of that name stands.
        {"the download's file cannot be made beside the target", nginx_.url("/orvane"),
         [&] { ::mkdir((target_ + ".tmp").c_str(), 0755); }, [&] { ::rmdir((target_ + ".tmp").c_str()); },
         "Cannot create file:\n[" + target_ + "]"},
        // The disk takes 6 000 bytes of the download and no more.
        {"the disk refuses the bytes", nginx_.url("/orvane"),
         [&] {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit limit = oldLimit;
             limit.rlim_cur = 6000;
             ::setrlimit(RLIMIT_FSIZE, &limit);
         },
         [&] {
             ::setrlimit(RLIMIT_FSIZE, &oldLimit);
             std::signal(SIGXFSZ, SIG_DFL);
         },
         "Cannot write to file:\n[" + target_ + "]", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBoxAnswers boxes;
        if (c.before)
            c.before();
        const std::vector<std::string> titles = runWindow(c.url, target_);
        if (c.after)
            c.after();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, wxString::FromUTF8(c.text.c_str()));
        EXPECT_EQ(boxes.shown[0].caption, "Update Orvane");
        EXPECT_TRUE(boxes.shown[0].style & wxICON_ERROR);
        expectOldProgramAsItWas();
        if (c.progressShown)
            EXPECT_EQ(titles, std::vector<std::string>{"41 % Update Orvane"});
        else
            EXPECT_TRUE(titles.empty()) << "no progress shown";
    }
    cutter.join();
    ::close(listener);
}

TEST_F(UpdaterWindowTest, StopDuringTheDownloadEndsTheWindowWithoutABoxAndLeavesTheOldProgram)
{
    // A peer that sends 7 000 of 12 000 bytes, then the rest only once Stop was pressed:
    // the window waits for its download to end, and the download for the next bytes.
    uint16_t port = 0;
    const int listener = listenOnLoopback(port);
    ASSERT_GE(listener, 0);
    std::atomic<WatchedDialog*> watched{nullptr};
    std::thread peer([&] {
        const int connection = ::accept(listener, nullptr, nullptr);
        char request[4096];
        (void)::read(connection, request, sizeof request);
        const std::string body = newProgram();
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 12000\r\n\r\n" + body.substr(0, 7000);
        (void)::write(connection, head.data(), head.size());
        awaitCondition([&] { return watched.load() && watched.load()->IsStopping(); }, 20000);
        (void)::write(connection, body.data() + 7000, 5000);
        ::close(connection);
    });

    MessageBoxAnswers boxes;
    bool gone = false;
    std::vector<std::string> titles;
    auto* dialog = new WatchedDialog("http://127.0.0.1:" + std::to_string(port) + "/orvane", target_, titles, gone);
    dialog->Show();
    dialog->StartDownload();
    watched = dialog;
    EXPECT_TRUE(waitUntil([&] { return !titles.empty(); }, std::chrono::seconds(10))) << "the first chunk shows";
    EXPECT_EQ(titles, std::vector<std::string>{"41 % Update Orvane"});
    wxButton* stop = nullptr;
    for (wxWindow* child : dialog->GetChildren())
        if (auto* button = dynamic_cast<wxButton*>(child); button && button->GetLabel() == "Stop")
            stop = button;
    ASSERT_NE(stop, nullptr);
    wxCommandEvent click(wxEVT_BUTTON, stop->GetId());
    click.SetEventObject(stop);
    stop->ProcessWindowEvent(click);
    EXPECT_TRUE(waitUntil([&] { return gone; }, std::chrono::seconds(10)));
    peer.join();
    ::close(listener);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(titles, std::vector<std::string>{"41 % Update Orvane"}) << "nothing after the stop";
    expectOldProgramAsItWas();
}

// The program as a process on a desktop of its own, with a runtime folder of its own for
// the single-instance guards.
// Lets the about box come up for real and, once it is on the screen, keeps its texts and
// a picture of it and closes it with OK.
class AboutBoxWatch : public wxModalDialogHook {
public:
    AboutBoxWatch() { Register(); }
    ~AboutBoxWatch() override { Unregister(); }

    std::vector<wxString> titles;
    std::vector<wxString> texts;
    wxImage picture;

protected:
    int Enter(wxDialog* dialog) override
    {
        titles.push_back(dialog->GetTitle());
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        look(dialog);
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}

private:
    void look(wxDialog* dialog)
    {
        dialog->CallAfter([this, dialog] {
            const bool late = std::chrono::steady_clock::now() > deadline_;
            if (!dialog->IsShownOnScreen() && !late) {
                wxMilliSleep(5);
                look(dialog);
                return;
            }
            dialog->Update();
            picture = screenImage(dialog->GetScreenRect());
            for (wxWindow* child : dialog->GetChildren())
                if (dynamic_cast<wxStaticText*>(child) || dynamic_cast<wxButton*>(child))
                    texts.push_back(child->GetLabel());
            dialog->EndModal(wxID_OK);
        });
    }

    std::chrono::steady_clock::time_point deadline_;
};

TEST_F(UpdaterWindowTest, ARightClickOnTheWindowOffersTheAboutBox)
{
    bool gone = false;
    std::vector<std::string> titles;
    auto* dialog = new WatchedDialog(nginx_.url("/orvane"), target_, titles, gone);
    dialog->Show();
    ASSERT_TRUE(waitUntil([&] { return dialog->IsShownOnScreen(); }));

    const std::unique_ptr<wxMenu> menu = dialog->CreateWindowMenu();
    ASSERT_EQ(menu->GetMenuItemCount(), 1u);
    EXPECT_EQ(menu->FindItemByPosition(0)->GetItemLabel(), "&About Updater...");
    EXPECT_EQ(menu->FindItemByPosition(0)->GetId(), CUpdaterDialog::AboutCommand);

    // A person's right click on the window, then the menu's first item by the keyboard.
    AboutBoxWatch about;
    dialog->Bind(wxEVT_MENU_OPEN, [dialog](wxMenuEvent& event) {
        event.Skip();
        dialog->CallAfter([] {
            wxUIActionSimulator keys;
            keys.Char(WXK_DOWN);
            keys.Char(WXK_RETURN);
        });
    });
    const wxRect area = dialog->GetScreenRect();
    wxUIActionSimulator mouse;
    mouse.MouseMove(area.x + area.width / 2, area.y + area.height / 4);
    mouse.MouseClick(wxMOUSE_BTN_RIGHT);
    ASSERT_TRUE(waitUntil([&] { return !about.texts.empty(); }, std::chrono::seconds(10)));
    EXPECT_EQ(about.titles, std::vector<wxString>{"About Updater"});
    ASSERT_GE(about.texts.size(), 2u);
    EXPECT_EQ(about.texts[0], "Orvane Updater");
    if (about.picture.IsOk()) {
        const char* dir = std::getenv("ORVANE_ARTIFACTS_DIR");
        about.picture.SaveFile(wxString(dir && *dir ? dir : "/tmp") + "/updater-about.png", wxBITMAP_TYPE_PNG);
    }
    // The box closed; the window goes on.
    EXPECT_FALSE(gone);
    dialog->Destroy();
    EXPECT_TRUE(waitUntil([&] { return gone; }));
}

class UpdaterProgramTest : public UpdaterWindowTest {
protected:
    void SetUp() override { ASSERT_TRUE(desktop_.ok()); }

    XWindowId windowTitled(pid_t pid, const std::string& title)
    {
        for (XWindowId w : windowsOfProcess(pid))
            if (windowTitle(w) == title)
                return w;
        return 0;
    }

    DesktopSession desktop_;
    ScopedEnv runtime_{"ORVANE_RUNTIME_DIR", (folder_.path() + "/runtime").c_str()};
    ScopedEnv asan_{"ASAN_OPTIONS", "detect_leaks=0"};
};

TEST_F(UpdaterProgramTest, TooFewArgumentsAreToldAndNothingIsFetched)
{
    ASSERT_TRUE(nginx_.ok());
    ::mkdir((folder_.path() + "/runtime").c_str(), 0700);
    PeerProcess updater;
    ASSERT_TRUE(updater.start({ORVANE_UPDATER_PROGRAM, nginx_.url("/orvane")}, folder_ / "updater.log"));
    const pid_t pid = updater.pid();
    XWindowId box = 0;
    ASSERT_TRUE(waitUntil([&] { return (box = windowTitled(pid, "Update Orvane")) != 0; }, std::chrono::seconds(30)))
        << readBytes(folder_ / "updater.log");
    EXPECT_NE(readBytes(folder_ / "updater.log").find("orvane-updater: Not enough arguments\n"), std::string::npos);
    askToClose(box);
    ASSERT_TRUE(waitUntil([&] { return !updater.running(); }, std::chrono::seconds(10)));
    EXPECT_EQ(nginx_.accessLog(), "") << "nothing fetched";
    expectOldProgramAsItWas();
}

TEST_F(UpdaterProgramTest, WaitsUntilTheMainProgramHasEndedThenReplacesAndStartsTheTarget)
{
    ASSERT_TRUE(nginx_.ok());
    ::mkdir((folder_.path() + "/runtime").c_str(), 0700);
    auto mainProgram = std::make_unique<ApplicationIPC>();
    mainProgram->init("Orvane_Chatwyn");
    ASSERT_TRUE(mainProgram->isFirstInstance());

    PeerProcess updater;
    ASSERT_TRUE(updater.start({ORVANE_UPDATER_PROGRAM, nginx_.url("/orvane"), target_}, folder_ / "updater.log"));
    // Its own guard's file shows it past its start (looking at the file leaves the lock alone).
    const std::string ownGuard = ApplicationIPC::lockFilePath("Orvane_Updater_MUTEX").c_str();
    ASSERT_TRUE(waitUntil([&] { return fileExists(ownGuard); }, std::chrono::seconds(30)));
    // Nothing to await while it waits: three of its looks at the main program's guard pass,
    // and it has neither fetched nor shown anything.
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    EXPECT_EQ(nginx_.accessLog(), "");
    EXPECT_TRUE(windowsOfProcess(updater.pid()).empty());
    EXPECT_EQ(readBytes(target_), OldProgram);

    mainProgram.reset();
    ASSERT_TRUE(waitUntil([&] { return fileExists(target_ + ".ran"); }, std::chrono::seconds(20)))
        << readBytes(folder_ / "updater.log");
    EXPECT_EQ(readBytes(target_ + ".ran"), "new\n");
    EXPECT_EQ(readBytes(target_), newProgram());
    ASSERT_TRUE(waitUntil([&] { return !updater.running(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(updater.exitedCleanly());
}
