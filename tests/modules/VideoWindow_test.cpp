// The video window on a desktop of its own: what it paints from a real peer session over
// loopback, its 4:3 rule, full screen, keys and mouse, the overlays, and closing without
// waiting for its threads.

#include "modules/video/CVideoDialog.h"
#include "modules/video/SessionReaper.h"
#include "modules/video/SyntheticCaptureSource.h"
#include "modules/video/VideoImages.h"
#include "tests/modules/RecordingHost.h"
#include "tests/modules/VideoPeers.h"
#include "tests/modules/VideoPixels.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/ProgramWindows.h"
#include "tests/ui/ScreenProbe.h"

#include <gtest/gtest.h>
#include <wx/dcclient.h>
#include <wx/uiaction.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace orvane {
namespace {

using namespace orvane::testing;
using Clock = std::chrono::steady_clock;

// The synthetic camera's eight bars, left to right.
void saveShot(const wxImage& shot, const char* name)
{
    const char* dir = std::getenv("ORVANE_ARTIFACTS_DIR");
    shot.SaveFile(wxString(dir && *dir ? dir : "/tmp") + "/" + name, wxBITMAP_TYPE_PNG);
}

class VideoWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok());
        ASSERT_TRUE(registerVideoImages());
    }
    void TearDown() override
    {
        for (CVideoDialog* w : windows)
            delete w;
        reaper.finish();
    }

    CVideoDialog* open(IModuleConnection* connection, std::shared_ptr<VideoThread> capture = nullptr)
    {
        auto* w = new CVideoDialog(&ann, connection, &host, reaper);
        windows.push_back(w);
        w->StartSession(std::move(capture));
        return w;
    }

    // Shows the window at width x (the height follows) and waits until it is painted so.
    void showAt(CVideoDialog& w, int width)
    {
        w.Show();
        w.SetSize(width, 100);
        w.Raise();
        ASSERT_TRUE(waitUntil([&] { return w.IsShownOnScreen() && w.GetSize().x == width && w.paints() > 0; }));
        // Keys go to the active window: asked of the window manager as a person's click would.
        GdkWindow* gdkWindow = gtk_widget_get_window(w.GetHandle());
        ASSERT_NE(gdkWindow, nullptr);
        askToActivate(gdk_x11_window_get_xid(gdkWindow));
        ASSERT_TRUE(waitUntil([&] { return w.IsActive(); }));
    }

    // The client area as the screen shows it, once it has been painted after the call.
    wxImage clientShot(CVideoDialog& w)
    {
        const int after = w.paints();
        w.Refresh(false);
        EXPECT_TRUE(waitUntil([&] { return w.paints() > after; }));
        wxYield();
        return screenImage(wxRect(w.ClientToScreen(wxPoint(0, 0)), w.GetClientSize()));
    }

    // Share of the picture's sampled pixels, outside the overlays, that show `expected`
    // (120 x 90) where the window's back bitmap puts it.
    double share(CVideoDialog& w, const wxImage& shot, const Picture& expected)
    {
        const wxRect area = w.pictureRect();
        const LocalVideoPanel& panel = w.localPanel();
        const wxRect panelRect(panel.x(), panel.y(), panel.width(), panel.height());
        int sampled = 0, matched = 0;
        for (int py = 1; py < 90; py += 3) {
            for (int px = 1; px < 120; px += 3) {
                const int x = area.x + (2 * px + 1) * area.width / 240;
                const int y = area.y + (2 * py + 1) * area.height / 180;
                if (y < 150 || panelRect.Contains(x, y) || x >= shot.GetWidth() || y >= shot.GetHeight())
                    continue;
                ++sampled;
                matched += near(pixelOf(shot, x, y), expected[static_cast<size_t>(py) * 120 + px], 24);
            }
        }
        return sampled ? static_cast<double>(matched) / sampled : 0;
    }

    DesktopSession desktop;
    RecordingHost host;
    SessionReaper reaper;
    FakeContact ann{"2002", "Ann"};
    std::vector<CVideoDialog*> windows;
};

std::shared_ptr<VideoThread> syntheticCamera()
{
    auto capture = std::make_shared<VideoThread>([] { return std::make_unique<SyntheticCaptureSource>(160, 120, 24); });
    capture->init();
    capture->start();
    return capture;
}

TEST_F(VideoWindow, ANewWindowIsHiddenTitledWithHelpAndItsLocalPictureInTheCorner)
{
    CVideoDialog* w = open(nullptr);
    EXPECT_FALSE(w->IsShown());
    EXPECT_EQ(w->GetTitle(), "Video with Ann ");
    EXPECT_TRUE(w->helpShown());
    const wxSize client = w->GetClientSize();
    const LocalVideoPanel& panel = w->localPanel();
    EXPECT_EQ(panel.width(), client.x / 5);
    EXPECT_EQ(panel.height(), client.y / 5);
    // Held in thousandths: the place comes back within a pixel.
    EXPECT_NEAR(panel.x(), client.x - panel.width() - 11, 1);
    EXPECT_NEAR(panel.y(), client.y - panel.height() - 11, 1);
    // No channel from the host: the session says so and stays without a connection.
    ASSERT_TRUE(waitUntil([&] { return w->link().lines() == std::vector<std::string>{"Can't connect [Ann] to open Video"}; }));
    EXPECT_FALSE(w->hasConnection());
}

TEST_F(VideoWindow, TheHeightFollowsTheWidthAtFourToThreeAndThePanelKeepsItsProportion)
{
    CVideoDialog* w = open(nullptr);
    showAt(*w, 400);
    const int a = (w->GetSize().y - w->GetClientSize().y) - (w->GetSize().x - w->GetClientSize().x);
    EXPECT_EQ(w->GetSize().y, a + 299);
    const int xPermille = w->localPanel().xPermille();
    w->SetSize(640, 100);
    ASSERT_TRUE(waitUntil([&] { return w->GetSize() == wxSize(640, a + 479); }));
    const wxSize client = w->GetClientSize();
    EXPECT_EQ(w->localPanel().width(), client.x / 5);
    EXPECT_EQ(w->localPanel().xPermille(), xPermille);
    EXPECT_EQ(w->localPanel().x(), client.x * xPermille / 1000);

    // Sized by its height alone (the bottom edge), the width follows the height.
    const wxSize narrow(281, a + static_cast<int>(0.7499999999999999 * 281));
    w->SetSize(narrow);
    ASSERT_TRUE(waitUntil([&] { return w->GetSize() == narrow; }));
    w->SetSize(281, 400);
    const wxSize followed(static_cast<int>((400 - a) * 1.3333333333333335), 400);
    ASSERT_TRUE(waitUntil([&] { return w->GetSize() == followed; }))
        << w->GetSize().x << "x" << w->GetSize().y << ", expected " << followed.x << "x" << followed.y;
}

TEST_F(VideoWindow, ShowsThePeersPictureOverTheWindowAndOursInTheCornerPanel)
{
    VideoPeer peer(2);
    CVideoDialog* w = open(peer.connection(), syntheticCamera());
    showAt(*w, 500);
    ASSERT_TRUE(waitUntil([&] { return !w->link().placeholderShown() && peer.window.remoteCount() > 0; },
                          std::chrono::seconds(10)));
    w->HideHelp();
    ASSERT_TRUE(waitUntil([&] { return w->link().lines().empty() || w->hasConnection(); }));
    const wxImage shot = clientShot(*w);
    saveShot(shot, "video-window.png");

    // Not fitted: the picture from (1, 1), one pixel short of the client each way.
    EXPECT_EQ(w->pictureRect(), wxRect(1, 1, w->GetClientSize().x - 1, w->GetClientSize().y - 1));
    EXPECT_GT(share(*w, shot, patternPicture(2, 0, 120, 90)), 0.8);
    EXPECT_LT(share(*w, shot, patternPicture(1, 0, 120, 90)), 0.3) << "another picture matches as well";
    EXPECT_EQ(pixelOf(shot, 0, shot.GetHeight() / 2), 0u) << "the first column stays background";

    // Our camera's bars in the panel, below the moving square.
    const LocalVideoPanel& panel = w->localPanel();
    const int y = panel.y() + panel.height() * 85 / 100;
    for (int bar = 0; bar < 8; ++bar) {
        const int x = panel.x() + (2 * bar + 1) * (panel.width() - 1) / 16;
        EXPECT_TRUE(near(pixelOf(shot, x, y), SyntheticBars[bar], 40)) << "bar " << bar << std::hex << " "
                                                                       << pixelOf(shot, x, y);
    }
}

TEST_F(VideoWindow, FullScreenFitsThePictureAndEscapeBringsTheWindowBack)
{
    VideoPeer peer(1);
    CVideoDialog* w = open(peer.connection());
    showAt(*w, 400);
    const wxSize before = w->GetClientSize();
    ASSERT_TRUE(waitUntil([&] { return !w->link().placeholderShown(); }, std::chrono::seconds(10)));
    w->EnterFullscreen();
    ASSERT_TRUE(waitUntil([&] { return w->GetClientSize() == wxSize(DesktopSession::Width, DesktopSession::Height); }));
    const wxImage shot = clientShot(*w);
    EXPECT_EQ(w->pictureRect(), wxRect(0, 32, 1280, 960));
    EXPECT_EQ(pixelOf(shot, 640, 20), 0u) << "black above the picture";
    EXPECT_EQ(pixelOf(shot, 640, 1010), 0u) << "black below it";
    EXPECT_GT(share(*w, shot, patternPicture(1, 0, 120, 90)), 0.8);

    wxUIActionSimulator keys;
    keys.Char(WXK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return !w->isFullscreen() && w->GetClientSize() == before; }))
        << w->isFullscreen() << " " << w->GetClientSize().x << "x" << w->GetClientSize().y << " " << w->IsActive();
    // Escape in a window that is not in full screen changes nothing, Enter does not close it.
    ASSERT_TRUE(w->helpShown());
    keys.Char(WXK_ESCAPE);
    keys.Char(WXK_RETURN);
    keys.Char(WXK_F1); // taken after the two before it
    ASSERT_TRUE(waitUntil([&] { return !w->helpShown(); }));
    EXPECT_FALSE(w->isFullscreen());
    EXPECT_EQ(w->GetClientSize(), before);
    EXPECT_TRUE(w->IsShown());
}

// The largest difference of one colour byte between horizontal neighbours in a row.
int steepestStep(const std::vector<uint32_t>& row)
{
    int steepest = 0;
    for (size_t x = 1; x < row.size(); ++x)
        for (int shift : {0, 8, 16})
            steepest = std::max(steepest, std::abs(static_cast<int>((row[x] >> shift) & 0xFF) -
                                                   static_cast<int>((row[x - 1] >> shift) & 0xFF)));
    return steepest;
}

TEST_F(VideoWindow, FullScreenEnlargesThePictureSmoothly)
{
    VideoPeer peer(1);
    CVideoDialog* w = open(peer.connection());
    showAt(*w, 400);
    ASSERT_TRUE(waitUntil([&] { return !w->link().placeholderShown(); }, std::chrono::seconds(10)));
    w->HideHelp();
    w->EnterFullscreen();
    ASSERT_TRUE(waitUntil([&] { return w->GetClientSize() == wxSize(DesktopSession::Width, DesktopSession::Height); }));
    const wxImage shot = clientShot(*w);
    saveShot(shot, "video-fullscreen.png");
    const wxRect area = w->pictureRect();
    ASSERT_EQ(area, wxRect(0, 32, 1280, 960));

    // Picture row 60, away from the overlays: its blocks change by large steps, and a
    // stretch that repeats pixels keeps those steps between neighbouring screen pixels,
    // where a smoothed one spreads each over the ten or so pixels a picture pixel becomes.
    const Picture picture = patternPicture(1, 0, 120, 90);
    const std::vector<uint32_t> source(picture.begin() + 60 * 120, picture.begin() + 61 * 120);
    const int screenY = area.y + (2 * 60 + 1) * area.height / 180;
    std::vector<uint32_t> screen;
    for (int x = area.x; x < area.x + area.width * 3 / 4; ++x)
        screen.push_back(pixelOf(shot, x, screenY));
    const int sourceStep = steepestStep(source);
    ASSERT_GE(sourceStep, 128) << "the picture has no sharp block edges to look at";
    EXPECT_LT(steepestStep(screen), sourceStep / 3);
    // Smoothing does not wash the picture out: the middle of each picture pixel keeps it.
    EXPECT_GT(share(*w, shot, picture), 0.8);
}

TEST_F(VideoWindow, ThePlaceholderFillsTheFullScreenButTheFirstRowAndColumn)
{
    CVideoDialog* w = open(nullptr);
    showAt(*w, 400);
    w->EnterFullscreen();
    ASSERT_TRUE(waitUntil([&] { return w->GetClientSize() == wxSize(DesktopSession::Width, DesktopSession::Height); }));
    clientShot(*w);
    EXPECT_EQ(w->pictureRect(), wxRect(1, 1, 1279, 1023));
}

TEST_F(VideoWindow, KeysToggleHelpFullScreenAndHighlight)
{
    CVideoDialog* w = open(nullptr);
    showAt(*w, 400);
    wxUIActionSimulator keys;
    ASSERT_TRUE(w->helpShown());
    keys.Char(WXK_F1);
    ASSERT_TRUE(waitUntil([&] { return !w->helpShown(); }));
    keys.Char(WXK_F1);
    ASSERT_TRUE(waitUntil([&] { return w->helpShown(); }));

    keys.Char(WXK_F11);
    keys.Char(WXK_F11, wxMOD_CONTROL);
    ASSERT_TRUE(waitUntil([&] { return w->highlight(); }));
    keys.Char(WXK_F11, wxMOD_CONTROL);
    ASSERT_TRUE(waitUntil([&] { return !w->highlight(); }));

    keys.Char(WXK_F12);
    ASSERT_TRUE(waitUntil([&] { return w->isFullscreen() && w->GetClientSize().x == DesktopSession::Width; }));
    keys.Char(WXK_F12);
    ASSERT_TRUE(waitUntil([&] { return !w->isFullscreen() && w->GetSize().x == 400; }));
}

TEST_F(VideoWindow, TheLocalPictureIsDraggedPutBackByARightClickAndADoubleClickMeansFullScreen)
{
    CVideoDialog* w = open(nullptr);
    showAt(*w, 500);
    LocalVideoPanel& panel = w->localPanel();
    const wxPoint corner(panel.x(), panel.y());
    wxUIActionSimulator mouse;
    const wxPoint grip = w->ClientToScreen(wxPoint(panel.x() + panel.width() / 2, panel.y() + panel.height() / 2));
    mouse.MouseMove(grip);
    ASSERT_TRUE(waitUntil([&] { return wxGetMousePosition() == grip; }));
    mouse.MouseDown();
    ASSERT_TRUE(waitUntil([&] { return panel.isDragging(); }));
    for (int step = 1; step <= 10; ++step)
        mouse.MouseMove(grip - wxPoint(20 * step, 10 * step));
    mouse.MouseUp();
    ASSERT_TRUE(waitUntil([&] { return !panel.isDragging(); }));
    EXPECT_NEAR(panel.x(), corner.x - 200, 2);
    EXPECT_NEAR(panel.y(), corner.y - 100, 2);

    // A right click puts it 11 pixels from the bottom-right corner of the window as it is now.
    mouse.MouseClick(wxMOUSE_BTN_RIGHT);
    const wxSize client = w->GetClientSize();
    const wxPoint home(client.x - client.x / 5 - 11, client.y - client.y / 5 - 11);
    ASSERT_TRUE(waitUntil([&] { return std::abs(panel.x() - home.x) <= 1 && std::abs(panel.y() - home.y) <= 1; }))
        << panel.x() << "," << panel.y();

    // Dragging out of the window ends the drag.
    mouse.MouseMove(grip);
    mouse.MouseDown();
    ASSERT_TRUE(waitUntil([&] { return panel.isDragging(); }));
    mouse.MouseMove(w->ClientToScreen(wxPoint(w->GetClientSize().x + 30, 10)));
    ASSERT_TRUE(waitUntil([&] { return !panel.isDragging(); }));
    mouse.MouseUp();

    mouse.MouseMove(w->ClientToScreen(wxPoint(100, 200)));
    mouse.MouseDblClick();
    ASSERT_TRUE(waitUntil([&] { return w->isFullscreen(); }));
    // The window manager gives the window the whole screen a while later; clicks made
    // before that may land on the window as it was, or be lost in its move.
    const wxSize screen = wxGetDisplaySize();
    ASSERT_TRUE(waitUntil([&] { return w->GetScreenRect().GetSize() == screen; }));
    const wxPoint middle(screen.x / 2, screen.y / 2);
    mouse.MouseMove(middle);
    ASSERT_TRUE(waitUntil([&] { return wxGetMousePosition() == middle; }));
    mouse.MouseDblClick();
    ASSERT_TRUE(waitUntil([&] { return !w->isFullscreen(); }));
}

TEST_F(VideoWindow, StatusLinesAreStackedInTranslucentBoxesFromTheTop)
{
    CVideoDialog* w = open(nullptr);
    showAt(*w, 500);
    ASSERT_TRUE(waitUntil([&] { return !w->link().lines().empty(); }));
    const Picture black(120 * 90, 0);
    w->link().ShowRemote(black.data(), 120, 90);
    w->HideHelp();
    w->SetStatusLine("Video session started.");
    w->AddLine("Connection has been closed.");
    w->AddLine("Reopen the video session with Ann.");
    const wxImage shot = clientShot(*w);
    saveShot(shot, "video-status-lines.png");

    wxClientDC measure(w);
    CTextFont font;
    font.SetFaceName("Arial");
    font.SetSize(12);
    measure.SetFont(font.font());
    int y = 4;
    for (const char* text : {"Video session started.", "Connection has been closed.", "Reopen the video session with Ann."}) {
        wxCoord width = 0, height = 0;
        measure.GetTextExtent(text, &width, &height);
        // White at 180 over black: grey 180 inside the box, up to its last column and row.
        EXPECT_TRUE(near(pixelOf(shot, 2, y), 0xB4B4B4, 2)) << text << std::hex << pixelOf(shot, 2, y);
        EXPECT_TRUE(near(pixelOf(shot, width + 10, y + height + 1), 0xB4B4B4, 2)) << text;
        EXPECT_EQ(pixelOf(shot, width + 12, y + 1), 0u) << text;
        y += height + 2;
    }
    EXPECT_EQ(pixelOf(shot, 3, y), 0u) << "nothing below the third box";
}

// A host whose channel opening blocks until the test lets it go, as one that negotiates
// with a slow peer.
class SlowHost final : public RecordingHost {
public:
    void release()
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            released_ = true;
        }
        changed_.notify_all();
    }
    bool inside()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return inside_;
    }
    IModuleConnection* openTcpConnection(const char*) override
    {
        std::unique_lock<std::mutex> lock(lock_);
        inside_ = true;
        changed_.wait(lock, [this] { return released_; });
        inside_ = false;
        return nullptr;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool released_ = false;
    bool inside_ = false;
};

TEST_F(VideoWindow, ClosingWhileTheSessionIsStillOpeningItsChannelDoesNotWaitForIt)
{
    SlowHost slow;
    auto* w = new CVideoDialog(&ann, nullptr, &slow, reaper);
    w->StartSession(nullptr);
    w->Show();
    ASSERT_TRUE(waitUntil([&] { return slow.inside(); }));
    const auto start = Clock::now();
    EXPECT_TRUE(w->Close());
    ASSERT_TRUE(waitUntil([&] { return wxTopLevelWindows.Find(w) == nullptr; }));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    // The session thread is still inside the opening, waited for by the reaper alone.
    EXPECT_TRUE(slow.inside());
    EXPECT_EQ(reaper.pending(), 1);
    slow.release();
    ASSERT_TRUE(waitUntil([&] { return reaper.pending() == 0; }));
}

} // namespace
} // namespace orvane
