// Two Orvane programs against a real orvane-server on one desktop, each with a camera of
// its own: alice starts video with bob from the action bar and both see each other.

#include "tests/core/ClientTestSupport.h"
#include "tests/modules/VideoPixels.h"
#include "tests/modules/VideoSessionPeers.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/ProgramWindows.h"
#include "tests/ui/ScreenProbe.h"

#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/uiaction.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The window the window manager reports as active (_NET_ACTIVE_WINDOW), 0 when none.
XWindowId activeWindow()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    XWindowId active = 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 1,
                           False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data && count == 1)
        active = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    XCloseDisplay(display);
    return active;
}

XWindowId windowTitled(pid_t pid, const std::string& title)
{
    for (XWindowId w : windowsOfProcess(pid))
        if (windowTitle(w) == title && windowShown(w) == WindowShown::Shown)
            return w;
    return 0;
}

// One program's folders and the environment it starts with.
struct Side {
    Side(const std::string& user, const std::string& serverUrl, const std::string& camera) : folders(serverUrl)
    {
        folders.writeAccount(user, user + "-pw");
        // The video library as the build put it, the only one beside the program: its
        // button is then the only one on the action bar.
        EXPECT_EQ(::mkdir((folders.programFolder + "/modules").c_str(), 0700), 0);
        EXPECT_EQ(::symlink(ORVANE_VIDEO_DIR, (folders.programFolder + "/modules/video").c_str()), 0);
        env = {{"ORVANE_PROGRAM_DIR", folders.programFolder},
               {"XDG_CONFIG_HOME", folders.configHome},
               {"ORVANE_RUNTIME_DIR", folders.runtimeDir},
               {"ORVANE_REGISTRY_DIR", folders.registryDir},
               {"ORVANE_VIDEO_SOURCE", camera},
               {"ASAN_OPTIONS", "detect_leaks=0"},
               // No sound device: a machine without sound would show the voice engine's box.
               {"ORVANE_AUDIO_DEVICE", "none"}};
    }

    bool start(const std::string& log)
    {
        std::vector<std::unique_ptr<ScopedEnv>> set;
        for (const auto& [name, value] : env)
            set.emplace_back(std::make_unique<ScopedEnv>(name.c_str(), value.c_str()));
        return program.start({ORVANE_PROGRAM}, folders.root / log);
    }

    ClientFolders folders;
    std::vector<std::pair<std::string, std::string>> env;
    PeerProcess program;
};

class VideoProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok());
        // alice and bob list each other.
        ASSERT_TRUE(server.start({"--database", database, "--http", "127.0.0.1:0", "--message", "127.0.0.1:0",
                                  "--hash-cost", "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw"}));
        const std::string url = "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/";
        alice = std::make_unique<Side>("alice", url, "synthetic:160x120x24");
        // bob's camera shows one picture of a pattern of its own.
        const Picture picture = patternPicture(2, 0, 120, 90);
        wxImage image(120, 90);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) {
                const uint32_t p = picture[static_cast<size_t>(y) * 120 + x];
                image.SetRGB(x, y, p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
            }
        ASSERT_TRUE(image.SaveFile(bobCamera, wxBITMAP_TYPE_BMP));
        bob = std::make_unique<Side>("bob", url, "file:" + bobCamera);
    }

    DesktopSession desktop;
    TempDirectory dir;
    std::string database = dir / "accounts.db";
    std::string bobCamera = dir / "camera.bmp";
    ServerProcess server;
    std::unique_ptr<Side> alice;
    std::unique_ptr<Side> bob;
};

// The window's client area as the screen shows it now.
wxImage shotOf(XWindowId window)
{
    const WindowRect r = windowRect(window);
    return screenImage(wxRect(r.x, r.y, r.width, r.height));
}

// The box around the pixels of the area that pass the test; empty when none does.
wxRect boxWhere(const wxImage& image, const wxRect& area, const std::function<bool(uint32_t)>& test)
{
    wxRect box;
    for (int y = area.y; y < area.GetBottom() && y < image.GetHeight(); ++y)
        for (int x = area.x; x < area.GetRight() && x < image.GetWidth(); ++x)
            if (test(pixelOf(image, x, y)))
                box = box.IsEmpty() ? wxRect(x, y, 1, 1) : box.Union(wxRect(x, y, 1, 1));
    return box;
}

// Share of a 120 x 90 picture's samples that the window shows where a window without the
// fit draws it (from 1, 1, one pixel short of the client each way), away from the help box,
// the status lines and the local picture.
double shareShown(const wxImage& shot, const std::function<uint32_t(int, int)>& expected)
{
    const int w = shot.GetWidth() - 1, h = shot.GetHeight() - 1;
    int sampled = 0, matched = 0;
    for (int py = 1; py < 90; py += 3)
        for (int px = 1; px < 120; px += 3) {
            const int x = 1 + (2 * px + 1) * w / 240, y = 1 + (2 * py + 1) * h / 180;
            if (y < 150 || (x > w * 3 / 4 && y > h * 3 / 4))
                continue;
            ++sampled;
            matched += near(pixelOf(shot, x, y), expected(px, py), 28);
        }
    return sampled ? static_cast<double>(matched) / sampled : 0;
}

uint32_t barAt(int px, int)
{
    return SyntheticBars[px * 8 / 120];
}

TEST_F(VideoProgram, AliceStartsVideoWithBobAndBothSeeEachOther)
{
    ASSERT_TRUE(alice->start("alice.log"));
    ASSERT_TRUE(bob->start("bob.log"));
    XWindowId aliceMain = 0, bobMain = 0;
    ASSERT_TRUE(waitUntil([&] {
        aliceMain = windowTitled(alice->program.pid(), "alice - Orvane");
        bobMain = windowTitled(bob->program.pid(), "bob - Orvane");
        return aliceMain && bobMain;
    }, std::chrono::seconds(30)));
    askToMove(aliceMain, 1000, 0);
    askToMove(bobMain, 1000, 500);
    askToActivate(aliceMain);

    // bob online in alice's tree (his green figure), and the video button on the action bar.
    wxRect figure, button;
    ASSERT_TRUE(waitUntil([&] {
        const wxImage shot = shotOf(aliceMain);
        // bob's window too, or it may still lie over alice's where the clicks go.
        if (!shot.IsOk() || windowRect(aliceMain).x < 900 || windowRect(bobMain).y < 400)
            return false;
        figure = boxWhere(shot, wxRect(0, 0, shot.GetWidth() / 2, 120),
                          [](uint32_t p) { return (p >> 8 & 0xFF) > 140 && (p >> 16) < 110 && (p & 0xFF) < 110; });
        button = boxWhere(shot, wxRect(shot.GetWidth() * 3 / 4, 0, shot.GetWidth() / 4, 120),
                          [](uint32_t p) { return (p >> 16) > 200 && (p >> 8 & 0xFF) > 200 && (p & 0xFF) > 200; });
        return !figure.IsEmpty() && !button.IsEmpty();
    }, std::chrono::seconds(30))) << "alice's log:\n" << readBytes(alice->folders.root / "alice.log");
    // bob selected, then the button: the button follows the selection at the next idle
    // time, so a click that came too early is made again.
    const WindowRect main = windowRect(aliceMain);
    wxUIActionSimulator mouse;
    XWindowId aliceVideo = 0, bobVideo = 0;
    for (int attempt = 0; attempt < 5 && !aliceVideo; ++attempt) {
        mouse.MouseMove(main.x + figure.x + figure.width / 2, main.y + figure.y + figure.height / 2);
        mouse.MouseClick();
        mouse.MouseMove(main.x + button.x + button.width / 2, main.y + button.y + button.height / 2);
        mouse.MouseClick();
        waitUntil([&] { return (aliceVideo = windowTitled(alice->program.pid(), "Video with bob ")) != 0; },
                  std::chrono::seconds(3));
    }
    ASSERT_TRUE(waitUntil([&] {
        aliceVideo = windowTitled(alice->program.pid(), "Video with bob ");
        bobVideo = windowTitled(bob->program.pid(), "Video with alice ");
        return aliceVideo && bobVideo;
    }, std::chrono::seconds(30))) << "alice's window " << aliceVideo << ", bob's " << bobVideo << "; alice's log:\n" << readBytes(alice->folders.root / "alice.log") << "bob's log:\n"
                                  << readBytes(bob->folders.root / "bob.log");
    askToMove(aliceVideo, 0, 0);
    askToMove(bobVideo, 0, 480);

    // Each shows the other's camera over its window and its own in the corner.
    const Picture bobs = patternPicture(2, 0, 120, 90);
    auto bobsAt = [&bobs](int px, int py) { return bobs[static_cast<size_t>(py) * 120 + px]; };
    wxImage aliceShot, bobShot;
    ASSERT_TRUE(waitUntil([&] {
        aliceShot = shotOf(aliceVideo);
        bobShot = shotOf(bobVideo);
        return aliceShot.IsOk() && bobShot.IsOk() && shareShown(aliceShot, bobsAt) > 0.8 &&
               shareShown(bobShot, barAt) > 0.8;
    }, std::chrono::seconds(30)));
    aliceShot.SaveFile(std::string(dir / "alice-video.png"), wxBITMAP_TYPE_PNG);
    if (const char* artifacts = std::getenv("ORVANE_ARTIFACTS_DIR")) {
        aliceShot.SaveFile(wxString(artifacts) + "/e2e-alice-video.png", wxBITMAP_TYPE_PNG);
        bobShot.SaveFile(wxString(artifacts) + "/e2e-bob-video.png", wxBITMAP_TYPE_PNG);
    }
    EXPECT_LT(shareShown(aliceShot, barAt), 0.3);
    EXPECT_LT(shareShown(bobShot, bobsAt), 0.3);
    // The local panels: a fifth of the client, 11 pixels in from the bottom-right corner.
    auto panelSample = [](const wxImage& shot, int px, int py) {
        const int cw = shot.GetWidth(), ch = shot.GetHeight();
        const int x0 = cw - cw / 5 - 11, y0 = ch - ch / 5 - 11;
        return pixelOf(shot, x0 + (2 * px + 1) * (cw / 5 - 1) / 240, y0 + (2 * py + 1) * (ch / 5 - 1) / 180);
    };
    for (int bar = 0; bar < 8; ++bar)
        EXPECT_TRUE(near(panelSample(aliceShot, bar * 15 + 7, 80), SyntheticBars[bar], 48)) << "alice's bar " << bar;

    // Full screen and back with F12 on alice's side; the picture is fitted 4:3 in between.
    const WindowRect windowed = windowRect(aliceVideo);
    askToActivate(aliceVideo);
    ASSERT_TRUE(waitUntil([&] { return activeWindow() == aliceVideo; }));
    wxUIActionSimulator keys;
    keys.Char(WXK_F12);
    ASSERT_TRUE(waitUntil([&] {
        const WindowRect r = windowRect(aliceVideo);
        return r.width == DesktopSession::Width && r.height == DesktopSession::Height;
    }));
    ASSERT_TRUE(waitUntil([&] {
        const wxImage shot = shotOf(aliceVideo);
        return shot.IsOk() && shot.GetHeight() == 1024 && pixelOf(shot, 640, 16) == 0 && pixelOf(shot, 640, 1010) == 0 &&
               pixelOf(shot, 640, 500) != 0;
    }));
    keys.Char(WXK_F12);
    ASSERT_TRUE(waitUntil([&] {
        const WindowRect r = windowRect(aliceVideo);
        return r.width == windowed.width && r.height == windowed.height;
    }));

    // bob closes his window at once; alice's stays, with the channel's end; then both
    // programs exit while alice's session window is still open.
    askToClose(bobVideo);
    ASSERT_TRUE(waitUntil([&] { return windowTitled(bob->program.pid(), "Video with alice ") == 0; }));
    EXPECT_NE(windowTitled(alice->program.pid(), "Video with bob "), 0u);
    for (Side* side : {alice.get(), bob.get()}) {
        const XWindowId mainWindow = side == alice.get() ? aliceMain : bobMain;
        askToActivate(mainWindow);
        ASSERT_TRUE(waitUntil([&] { return activeWindow() == mainWindow; }));
        keys.Char('f', wxMOD_ALT);
        keys.Char('x');
        // alice exits with her video window still open: the window does not hold the program.
        ASSERT_TRUE(waitUntil([&] { return !side->program.running(); }, std::chrono::seconds(20)));
        EXPECT_TRUE(side->program.exitedCleanly()) << readBytes(side->folders.root / (side == alice.get() ? "alice.log" : "bob.log"));
    }
}

} // namespace
