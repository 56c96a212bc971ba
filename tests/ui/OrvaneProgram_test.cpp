#include "tests/core/ClientTestSupport.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/ProgramWindows.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/ui/TrayHost.h"

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The program itself as a process on the test's desktop, with folders of its own, against a
// real server that knows alice and bob.
class OrvaneProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok());
        ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost",
                                  "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw"}));
        folders = std::make_unique<ClientFolders>("http://127.0.0.1:" + std::to_string(server.httpPort()) + "/");
        folders->writeAccount("alice", "alice-pw");
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_PROGRAM_DIR", folders->programFolder.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", folders->configHome.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_RUNTIME_DIR", folders->runtimeDir.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_REGISTRY_DIR", folders->registryDir.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("ASAN_OPTIONS", "detect_leaks=0"));
        // No sound device: a machine without sound would show the voice engine's box.
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_AUDIO_DEVICE", "none"));
    }

    // Starts a program; its pid once its main window shows with the caption, else -1 (and
    // a failure).
    pid_t startProgram(PeerProcess& program, const std::string& log)
    {
        if (!program.start({ORVANE_PROGRAM}, folders->root / log))
            return -1;
        const bool shown = waitUntil(
            [&] {
                for (XWindowId w : windowsOfProcess(program.pid()))
                    if (windowTitle(w) == "alice - Orvane" && windowShown(w) == WindowShown::Shown)
                        return true;
                return false;
            },
            std::chrono::seconds(30));
        EXPECT_TRUE(shown) << "no main window; the program's output:\n" << readBytes(folders->root / log);
        return shown ? program.pid() : -1;
    }

    // The main window among the program's windows (the progress panel is one of them too).
    XWindowId mainWindow(pid_t pid)
    {
        for (XWindowId w : windowsOfProcess(pid))
            if (windowTitle(w) == "alice - Orvane")
                return w;
        return 0;
    }

    // The program's window with that title, once it is shown; 0 when none shows in time.
    XWindowId shownWindow(pid_t pid, const std::string& title)
    {
        XWindowId found = 0;
        waitUntil(
            [&] {
                for (XWindowId w : windowsOfProcess(pid))
                    if (windowTitle(w) == title && windowShown(w) == WindowShown::Shown)
                        found = w;
                return found != 0;
            },
            std::chrono::seconds(30));
        return found;
    }

    // A click of the mouse button in the middle of the program's icon in the tray.
    static void clickTrayIcon(TrayHost& tray, wxMouseButton button = wxMOUSE_BTN_LEFT)
    {
        const wxRect icon = tray.screenRect(tray.dockedWindows().front());
        wxUIActionSimulator mouse;
        mouse.MouseMove(icon.x + icon.width / 2, icon.y + icon.height / 2);
        mouse.MouseClick(button);
    }

    // Exit through the File menu's keys, as a person would.
    void exitByKeys()
    {
        wxUIActionSimulator keys;
        keys.Char('f', wxMOD_ALT);
        keys.Char('x');
    }

    DesktopSession desktop;
    ServerProcess server;
    std::unique_ptr<ClientFolders> folders;
    std::vector<std::unique_ptr<ScopedEnv>> env;
};

} // namespace

TEST_F(OrvaneProgram, ASecondStartEndsSilentlyAndLeavesTheFirstAlone)
{
    PeerProcess first;
    const pid_t pid = startProgram(first, "first.log");
    ASSERT_GT(pid, 0);
    PeerProcess second;
    ASSERT_TRUE(second.start({ORVANE_PROGRAM}, folders->root / "second.log"));
    const pid_t secondPid = second.pid();
    ASSERT_TRUE(waitUntil([&] { return !second.running(); }, std::chrono::seconds(30)));
    EXPECT_TRUE(windowsOfProcess(secondPid).empty());
    EXPECT_EQ(readBytes(folders->root / "second.log"), "") << "nothing said";
    EXPECT_TRUE(first.running());
    EXPECT_EQ(windowShown(mainWindow(pid)), WindowShown::Shown);
}

TEST_F(OrvaneProgram, OpensAtTheDefaultPlaceComesBackWhereItWasLeftAndOnlyExitEndsIt)
{
    {
        PeerProcess program;
        const pid_t pid = startProgram(program, "run1.log");
        ASSERT_GT(pid, 0);
        const XWindowId window = mainWindow(pid);
        // The default: a column 220 wide at the right edge, centred on the screen's height.
        const WindowRect first = windowRect(window);
        EXPECT_NEAR(first.x + first.width, DesktopSession::Width, 4) << "within the window manager's border";
        EXPECT_NEAR(first.y + first.height / 2, DesktopSession::Height / 2, 40);
        EXPECT_LE(first.width, 220);

        // Closing leaves it running: without a tray the window goes down to an icon only.
        askToClose(window);
        ASSERT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Minimised; }));
        EXPECT_TRUE(program.running());

        // Back, moved, and ended through Exit: the placement is kept.
        askToActivate(window);
        ASSERT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Shown; }));
        askToMove(window, 100, 80);
        ASSERT_TRUE(waitUntil([&] { return windowRect(window).x < 300; })) << "the window manager moved it";
        exitByKeys();
        ASSERT_TRUE(waitUntil([&] { return !program.running(); }, std::chrono::seconds(20))) << "Exit ends it";
        EXPECT_TRUE(program.exitedCleanly());
    }
    PeerProcess again;
    const pid_t pid = startProgram(again, "run2.log");
    ASSERT_GT(pid, 0);
    EXPECT_LT(windowRect(mainWindow(pid)).x, 300) << "where it was left";
}

TEST_F(OrvaneProgram, WithATrayClosingHidesTheWindowAndTheIconBringsItBack)
{
    TrayHost tray;
    ASSERT_TRUE(tray.start());
    PeerProcess program;
    const pid_t pid = startProgram(program, "tray.log");
    ASSERT_GT(pid, 0);
    const XWindowId window = mainWindow(pid);
    ASSERT_TRUE(waitUntil([&] { return !tray.dockedWindows().empty(); })) << "the icon is in the tray";
    askToClose(window);
    ASSERT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Hidden; }))
        << "shown as " << static_cast<int>(windowShown(window)) << "; " << readBytes(folders->root / "tray.log");
    EXPECT_TRUE(program.running());

    clickTrayIcon(tray);
    EXPECT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Shown; })) << "a left click shows it";
}

TEST_F(OrvaneProgram, AtFirstStartTheSignInDialogComesUpOnTopOfTheMainWindowWithTheFocus)
{
    // Nobody has signed in on this machine yet.
    folders->writeAccount("", "");
    PeerProcess program;
    ASSERT_TRUE(program.start({ORVANE_PROGRAM}, folders->root / "first.log"));
    const XWindowId frame = shownWindow(program.pid(), " - Orvane");
    const XWindowId dialog = shownWindow(program.pid(), "Orvane - Sign In");
    ASSERT_NE(frame, 0u) << readBytes(folders->root / "first.log");
    ASSERT_NE(dialog, 0u) << readBytes(folders->root / "first.log");
    const auto topmost = [&] {
        const std::vector<XWindowId> stack = stackingOrder();
        const auto frameAt = std::find(stack.begin(), stack.end(), frame);
        const auto dialogAt = std::find(stack.begin(), stack.end(), dialog);
        return frameAt != stack.end() && dialogAt != stack.end() && dialogAt > frameAt;
    };
    // The window manager settles both windows: then the dialog is the one above and the
    // active one, so its buttons are not covered and the keys reach it.
    EXPECT_TRUE(waitUntil([&] { return activeWindow() == dialog && topmost(); }, std::chrono::seconds(10)))
        << "active " << activeWindow() << ", frame " << frame << ", dialog " << dialog;
    if (const char* dir = std::getenv("ORVANE_ARTIFACTS_DIR")) {
        // For a person to look at: the screen once the dialog has painted its face.
        const WindowRect at = windowRect(dialog);
        waitUntil([&] {
            const wxImage middle = screenImage(wxRect(at.x + at.width / 2, at.y + at.height / 2, 1, 1));
            return middle.IsOk() && (middle.GetRed(0, 0) || middle.GetGreen(0, 0) || middle.GetBlue(0, 0));
        });
        const wxImage screen = screenImage(wxRect(wxPoint(0, 0), screenSize()));
        if (screen.IsOk())
            screen.SaveFile(wxString(dir) + "/first-start.png", wxBITMAP_TYPE_PNG);
    }
    askToClose(dialog);
    EXPECT_TRUE(waitUntil([&] { return windowShown(dialog) != WindowShown::Shown; })) << "cancelled";
    EXPECT_TRUE(waitUntil([&] { return activeWindow() == frame; })) << "the main window has the focus back";
    if (const char* dir = std::getenv("ORVANE_ARTIFACTS_DIR")) {
        const wxImage screen = screenImage(wxRect(wxPoint(0, 0), screenSize()));
        if (screen.IsOk())
            screen.SaveFile(wxString(dir) + "/first-start-cancelled.png", wxBITMAP_TYPE_PNG);
    }
    program.stop();
}

TEST_F(OrvaneProgram, StartsAndEndsWithoutAWarningFromGtk)
{
    TrayHost tray;
    ASSERT_TRUE(tray.start());
    PeerProcess program;
    const pid_t pid = startProgram(program, "quiet.log");
    ASSERT_GT(pid, 0);
    const XWindowId window = mainWindow(pid);
    ASSERT_TRUE(waitUntil([&] { return !tray.dockedWindows().empty(); })) << "the icon is in the tray";
    // Its windows as a user meets them: hidden to the tray and back, then ended by Exit.
    askToClose(window);
    ASSERT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Hidden; }));
    clickTrayIcon(tray);
    ASSERT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Shown; }));
    askToActivate(window);
    ASSERT_TRUE(waitUntil([&] { return activeWindow() == window; }));
    exitByKeys();
    ASSERT_TRUE(waitUntil([&] { return !program.running(); }, std::chrono::seconds(20))) << "Exit ends it";
    const std::string output = readBytes(folders->root / "quiet.log");
    for (const char* complaint : {"-CRITICAL", "-WARNING", "Gtk-Message"})
        EXPECT_EQ(output.find(complaint), std::string::npos) << complaint << " in:\n" << output;
}

TEST_F(OrvaneProgram, ARightClickOnTheTrayIconLeavesTheClosedWindowHidden)
{
    TrayHost tray;
    ASSERT_TRUE(tray.start());
    PeerProcess program;
    const pid_t pid = startProgram(program, "menu.log");
    ASSERT_GT(pid, 0);
    const XWindowId window = mainWindow(pid);
    ASSERT_TRUE(waitUntil([&] { return !tray.dockedWindows().empty(); })) << "the icon is in the tray";
    askToClose(window);
    ASSERT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Hidden; }));

    // The tray menu comes, and goes again with Escape.
    clickTrayIcon(tray, wxMOUSE_BTN_RIGHT);
    ASSERT_TRUE(waitUntil([] { return popupMenuShown(); })) << "no tray menu";
    wxUIActionSimulator().Char(WXK_ESCAPE);
    ASSERT_TRUE(waitUntil([] { return !popupMenuShown(); })) << "the menu stays";
    EXPECT_EQ(windowShown(window), WindowShown::Hidden);
    // A left click toggles: it shows a window that stayed hidden (and would hide one the
    // menu had brought up).
    clickTrayIcon(tray);
    EXPECT_TRUE(waitUntil([&] { return windowShown(window) == WindowShown::Shown; }))
        << "shown as " << static_cast<int>(windowShown(window));
}
