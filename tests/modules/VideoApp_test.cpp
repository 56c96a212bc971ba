// The video library's application object with a recording host: which window a session
// or a peer's channel goes to, the capture thread's life, and closing without waiting.

#include "modules/video/CVideoApp.h"
#include "modules/video/CVideoDialog.h"
#include "foundation/Exception.h"
#include "modules/video/VideoImages.h"
#include "tests/modules/RecordingHost.h"
#include "tests/modules/VideoPeers.h"
#include "tests/ui/MessageBoxAnswers.h"
#include "tests/ui/ScreenProbe.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace orvane {
namespace {

using namespace orvane::testing;

// A channel that only notes that it was closed.
class NoteConnection final : public IModuleConnection {
public:
    bool closed = false;
    void send(const void*, int) override {}
    int receive(int) override { return 0; }
    const uint8_t* data() override { return nullptr; }
    int size() override { return 0; }
    void close() override { closed = true; }
};

// A camera whose opening blocks until the test lets it go: stopping its capture thread
// waits as long.
class Gate {
public:
    void open()
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void pass()
    {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = false;
};

class GatedCamera final : public CaptureSource {
public:
    explicit GatedCamera(Gate& gate) : gate_(gate) {}
    bool open() override
    {
        gate_.pass();
        return false;
    }
    bool grab(ByteArray&) override { return false; }
    void close() override {}

private:
    Gate& gate_;
};

// A camera that opens and then fails on its first frame.
class BrokenCamera final : public CaptureSource {
public:
    bool open() override { return true; }
    bool grab(ByteArray&) override { throw MemoryException(); }
    void close() override {}
};

class VideoApp : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(registerVideoImages()); }

    // The pictures the peer got from the window: without a camera there, its own back.
    static bool gotItsOwnPictureBack(VideoPeer& peer, int kind)
    {
        return peer.window.waitUntil([&](RecordingWindow& w) {
            if (w.remote().empty())
                return false;
            const Picture own = patternPicture(kind, 0, 120, 90);
            // Away from the yellow brackets the pixels are the peer's own.
            const Picture& got = w.remote().back().pixels;
            return got.size() == own.size() && got[45 * 120 + 60] == own[45 * 120 + 60] && got[2 * 120 + 2] == own[2 * 120 + 2];
        });
    }

    RecordingHost host;
    CVideoApp app{"/opt/orvane/modules/video/", [] { return std::unique_ptr<CaptureSource>(); }};
    FakeContact ann{"2002", "Ann"};
    FakeContact bob{"3003", "Bob"};
};

TEST_F(VideoApp, APeersRequestOpensAWindowWithASoundAndANoticeAndASecondIsRefused)
{
    app.Init(&host);
    VideoPeer peer(1);
    app.OnIncomingSession(&ann, peer.connection());
    ASSERT_EQ(app.windows().size(), 1u);
    CVideoDialog* window = app.windows()[0];
    EXPECT_TRUE(window->IsShown());
    EXPECT_EQ(window->GetTitle(), "Video with Ann ");
    ASSERT_EQ(host.sounds, std::vector<std::string>{"/opt/orvane/modules/video/sounds/video.wav"});
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].first, "Video request from\nAnn");
    EXPECT_EQ(host.notices[0].second, nullptr);
    ASSERT_TRUE(waitUntil([&] { return window->hasConnection() && !window->link().placeholderShown(); }));

    NoteConnection second;
    app.OnIncomingSession(&ann, &second);
    EXPECT_TRUE(second.closed);
    EXPECT_EQ(app.windows().size(), 1u);
    EXPECT_EQ(window->link().lines().back(), "Cancelled second video request from Ann.");
    // The user's start with a connected contact only brings the window up.
    app.OpenSession(&ann);
    EXPECT_EQ(app.windows().size(), 1u);
    EXPECT_TRUE(host.tcpOpened.empty());
    app.Shutdown();
    EXPECT_TRUE(app.windows().empty());
    // The peer saw the channel close.
    EXPECT_TRUE(peer.window.waitUntil([](RecordingWindow& w) { return w.closed() > 0; }));
}

TEST_F(VideoApp, AChannelGoesOnlyToTheWindowOfItsOwnContact)
{
    app.Init(&host);
    VideoPeer annPeer(1);
    VideoPeer bobPeer(3);
    app.OnIncomingSession(&ann, annPeer.connection());
    app.OnIncomingSession(&bob, bobPeer.connection());
    ASSERT_EQ(app.windows().size(), 2u);
    EXPECT_EQ(app.FindWindow(&ann)->GetTitle(), "Video with Ann ");
    EXPECT_EQ(app.FindWindow(&bob)->GetTitle(), "Video with Bob ");
    // Each peer gets back its own picture, never the other's.
    EXPECT_TRUE(gotItsOwnPictureBack(annPeer, 1));
    EXPECT_TRUE(gotItsOwnPictureBack(bobPeer, 3));

    // After sign-out the windows go on but match nobody; Ann's new channel opens a window of
    // its own and does not reach the forgotten one.
    app.ForgetContacts();
    EXPECT_EQ(app.FindWindow(&ann), nullptr);
    EXPECT_TRUE(app.windows()[0]->hasConnection());
    VideoPeer annAgain(2);
    app.OnIncomingSession(&ann, annAgain.connection());
    ASSERT_EQ(app.windows().size(), 3u);
    EXPECT_TRUE(gotItsOwnPictureBack(annAgain, 2));
    EXPECT_EQ(app.FindWindow(&ann), app.windows()[2]);

    // A contact without an id matches nothing: its channel is closed.
    FakeContact nobody{"", "Nobody"};
    NoteConnection stray;
    app.OnIncomingSession(&nobody, &stray);
    EXPECT_TRUE(stray.closed);
    EXPECT_EQ(app.windows().size(), 3u);
    app.Shutdown();
}

TEST_F(VideoApp, AnEndedSessionsWindowMakesWayForANewOne)
{
    app.Init(&host);
    {
        VideoPeer peer(1);
        app.OnIncomingSession(&ann, peer.connection());
        ASSERT_TRUE(waitUntil([&] { return app.windows()[0]->hasConnection(); }));
    } // the peer goes
    CVideoDialog* ended = app.windows()[0];
    ASSERT_TRUE(waitUntil([&] { return ended->link().lines() == std::vector<std::string>{"Connection has been closed."}; }));
    ended->SetSize(wxRect(40, 50, 480, 100));
    ASSERT_TRUE(waitUntil([&] { return ended->GetSize().x == 480; }));
    const wxRect placement = ended->GetRect();

    // A peer's new request replaces it in the same place, with a line that says so.
    VideoPeer again(2);
    app.OnIncomingSession(&ann, again.connection());
    ASSERT_EQ(app.windows().size(), 1u);
    CVideoDialog* reopened = app.windows()[0];
    EXPECT_NE(reopened, ended);
    EXPECT_EQ(reopened->link().lines().back(), "Reopen the video session with Ann.");
    EXPECT_EQ(reopened->GetSize(), placement.GetSize());
    EXPECT_TRUE(gotItsOwnPictureBack(again, 2));
    // The session has started by now; its start line did not take the reopen line away.
    EXPECT_EQ(reopened->link().lines(),
              (std::vector<std::string>{"Video session started.", "Reopen the video session with Ann."}));
    again.thread.endSession();
    ASSERT_TRUE(waitUntil([&] { return !reopened->hasConnection(); }));

    // The user's start replaces it with a window that opens its own channel.
    VideoPeer opened(3);
    host.tcpConnection = opened.connection();
    app.OpenSession(&ann);
    ASSERT_EQ(app.windows().size(), 1u);
    EXPECT_NE(app.windows()[0], reopened);
    EXPECT_TRUE(gotItsOwnPictureBack(opened, 3));
    EXPECT_EQ(host.tcpOpened, std::vector<std::string>{"2002"});
    app.Shutdown();
}

TEST_F(VideoApp, TheCameraRunsWhileAWindowIsOpenAndClosingNeverWaitsForIt)
{
    Gate gate;
    CVideoApp gated("/opt/", [&gate] { return std::unique_ptr<CaptureSource>(new GatedCamera(gate)); });
    gated.Init(&host);
    CVideoDialog* first = gated.OpenWindow(&ann, nullptr);
    EXPECT_TRUE(gated.captureRunning());
    CVideoDialog* second = gated.OpenWindow(&bob, nullptr);
    first->Close();
    EXPECT_TRUE(gated.captureRunning());
    // The last window's closing hands the blocked capture thread to the reaper and returns.
    second->Close();
    EXPECT_FALSE(gated.captureRunning());
    ASSERT_TRUE(waitUntil([&] { return wxTopLevelWindows.Find(second) == nullptr; }));
    EXPECT_GE(gated.reaper().pending(), 1);
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return gated.reaper().pending() == 0; }));
    // A new window starts a new capture thread.
    gated.OpenWindow(&ann, nullptr);
    EXPECT_TRUE(gated.captureRunning());
    gated.Shutdown();
    EXPECT_FALSE(gated.captureRunning());
}

TEST_F(VideoApp, ACaptureThreadThatFailsTellsTheUserInABox)
{
    MessageBoxAnswers boxes;
    CVideoApp broken("/opt/", [] { return std::unique_ptr<CaptureSource>(new BrokenCamera); });
    broken.Init(&host);
    CVideoDialog* window = broken.OpenWindow(&ann, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !boxes.shown.empty(); }, std::chrono::seconds(10)));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Error in VideoThread !");
    EXPECT_EQ(boxes.shown[0].caption, "Video");
    EXPECT_TRUE(boxes.shown[0].style & wxICON_ERROR) << "the stop icon";
    // The window stays, its session going on without a camera.
    EXPECT_TRUE(window->IsShown());
    EXPECT_EQ(broken.windows().size(), 1u);
    broken.Shutdown();
}

} // namespace
} // namespace orvane
