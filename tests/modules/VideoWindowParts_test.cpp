// The video window's parts that need no display: what it shares with its session thread,
// the reaper that ends closed sessions, the 4:3 sizing rule and the full-screen fit.

#include "modules/video/CVideoDialog.h"
#include "modules/video/SessionReaper.h"
#include "modules/video/VideoWindowLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvane {
namespace {

struct FakeClock {
    time_t now = 1000;
    VideoWindowLink::Clock clock()
    {
        return [this] { return now; };
    }
};

TEST(VideoWindowLink, StatusLinesStayTenSecondsWhileConnectedAndForeverWithout)
{
    FakeClock time;
    VideoWindowLink link(time.clock());
    link.AddLine("one");
    link.AddLine("two");
    link.AddLine("three");
    EXPECT_EQ(link.linesToDraw(true), (std::vector<std::string>{"one", "two", "three"}));
    time.now += 9;
    EXPECT_EQ(link.linesToDraw(true).size(), 3u);
    // Without a connection the end texts stay whatever the time.
    link.OnConnectionClosed();
    time.now += 100;
    EXPECT_EQ(link.linesToDraw(false), (std::vector<std::string>{"Connection has been closed."}));
    // The session's texts replace what was there.
    link.OnSessionStarted();
    EXPECT_EQ(link.linesToDraw(true), (std::vector<std::string>{"Video session started."}));
    time.now += 10;
    EXPECT_TRUE(link.linesToDraw(true).empty());
}

TEST(VideoWindowLink, AReopenLineStaysBelowTheSessionsStartLineWhicheverComesFirst)
{
    const std::vector<std::string> expected{"Video session started.", "Reopen the video session with Ann."};
    for (bool startedFirst : {false, true}) {
        SCOPED_TRACE(startedFirst ? "the session started first" : "the line came first");
        VideoWindowLink link;
        if (startedFirst)
            link.OnSessionStarted();
        link.AddSessionLine("Reopen the video session with Ann.");
        if (!startedFirst)
            link.OnSessionStarted();
        EXPECT_EQ(link.lines(), expected);
        // The session's end replaces both.
        link.OnConnectionClosed();
        EXPECT_EQ(link.lines(), std::vector<std::string>{"Connection has been closed."});
    }
}

TEST(VideoWindowLink, RepaintsAreAskedOnceUntilPaintedAndNotAtAllOnceClosing)
{
    VideoWindowLink link;
    int asked = 0;
    link.attach([&] { ++asked; });
    const uint32_t pixels[4] = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
    link.ShowRemote(pixels, 2, 2);
    link.ShowRemote(pixels, 2, 2);
    link.AddLine("x");
    EXPECT_EQ(asked, 1);
    link.repaintDone();
    link.ShowLocal(pixels, 2, 2);
    EXPECT_EQ(asked, 2);

    VideoImage image;
    EXPECT_FALSE(link.placeholderShown());
    ASSERT_TRUE(link.takeRemote(image));
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.pixels()[3], 0xA0B0C0u);
    EXPECT_FALSE(link.takeRemote(image)); // nothing new
    ASSERT_TRUE(link.takeLocal(image));

    link.repaintDone();
    link.detach();
    const uint32_t other[1] = {0xFFFFFF};
    link.ShowRemote(other, 1, 1);
    link.ShowLocal(other, 1, 1);
    link.AddLine("late");
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(link.takeRemote(image));
    EXPECT_FALSE(link.takeLocal(image)) << "the late local picture is dropped";
}

TEST(VideoWindowLink, TheSendSizeIsTheQualitysShareOf120By90)
{
    VideoWindowLink link;
    EXPECT_EQ(link.getSendWidth(), 120);
    EXPECT_EQ(link.getSendHeight(), 90);
    const struct {
        int quality, width, height;
    } cases[] = {{100, 120, 90}, {250, 120, 90}, {50, 60, 45}, {0, 1, 0}, {-5, 1, 0}, {33, 39, 29}};
    for (const auto& c : cases) {
        link.SetSendQuality(c.quality);
        EXPECT_EQ(link.getSendWidth(), c.width) << c.quality;
        EXPECT_EQ(link.getSendHeight(), c.height) << c.quality;
    }
}

TEST(SessionReaper, EndsJobsInOrderOffTheCallersThreadAndFinishWaitsForThem)
{
    SessionReaper reaper;
    std::mutex lock;
    std::condition_variable released;
    bool release = false;
    std::vector<int> order;
    std::atomic<bool> onCaller{false};
    const auto caller = std::this_thread::get_id();
    reaper.reap([&] {
        std::unique_lock<std::mutex> guard(lock);
        released.wait(guard, [&] { return release; });
        order.push_back(1);
        onCaller = std::this_thread::get_id() == caller;
    });
    reaper.reap([&] {
        std::lock_guard<std::mutex> guard(lock);
        order.push_back(2);
    });
    // The first job blocks; handing over returned at once and both are pending.
    EXPECT_EQ(reaper.pending(), 2);
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    released.notify_all();
    reaper.finish();
    EXPECT_EQ(reaper.pending(), 0);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_FALSE(onCaller.load());
    // Jobs may come again after finish.
    reaper.reap([&] { order.push_back(3); });
    reaper.finish();
    EXPECT_EQ(order.back(), 3);
}

TEST(VideoSizingRule, KeepsTheWindowNearFourToThreeFromEveryEdge)
{
    // rect: x, y, width, height; a: the frame's height less its width.
    const struct {
        int edge;
        wxRect in;
        int a;
        wxRect out;
    } cases[] = {
        {2, {10, 20, 400, 100}, 0, {10, 20, 400, 299}},      // just below 0.75: 299, not 300
        {1, {10, 20, 400, 100}, 25, {10, 20, 400, 324}},
        {8, {0, 0, 120, 10}, 7, {0, 0, 120, 96}},
        {6, {0, 0, 50, 325}, 25, {0, 0, 400, 325}},          // width from the height less a
        {3, {0, 0, 50, 91}, 1, {0, 0, 120, 91}},
        {4, {0, 100, 400, 200}, 25, {0, -24, 400, 324}},     // the top moves, the bottom stays
        {5, {0, 100, 400, 200}, 0, {0, 1, 400, 299}},
        {0, {1, 2, 3, 4}, 9, {1, 2, 3, 4}},                  // no edge: left alone
        {9, {1, 2, 3, 4}, 9, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        wxRect rect = c.in;
        CVideoDialog::ApplySizingRule(c.edge, rect, c.a);
        EXPECT_EQ(rect, c.out) << "edge " << c.edge;
    }
}

TEST(VideoSizingRule, TheEdgeIsTheOneThatMoved)
{
    const wxRect before(100, 100, 400, 324);
    const struct {
        wxRect after;
        int edge;
    } cases[] = {
        {{100, 100, 500, 324}, 2}, {{0, 100, 500, 324}, 1},     // right, left
        {{100, 100, 400, 400}, 6}, {{100, 24, 400, 400}, 3},    // bottom, top
        {{100, 100, 500, 400}, 8}, {{0, 100, 500, 400}, 7},     // bottom-right, bottom-left
        {{100, 24, 500, 400}, 5}, {{0, 24, 500, 400}, 4},       // top-right, top-left
        {{150, 150, 400, 324}, 0},                              // a move, no sizing
        {{150, 100, 500, 324}, 2},                              // moved and sized: not a left edge
    };
    for (const auto& c : cases)
        EXPECT_EQ(CVideoDialog::SizingEdge(before, c.after), c.edge)
            << c.after.x << "," << c.after.y << " " << c.after.width << "x" << c.after.height;
}

TEST(VideoFullScreenFit, APictureIsFittedInItsShapeAndCentred)
{
    // As left, top, right, bottom: (0, 0) to (right, bottom) both included.
    const struct {
        int right, bottom, pw, ph;
        int l, t, r, b;
    } cases[] = {
        {1279, 1023, 120, 90, 0, 32, 1280, 992},   // the 1280 by 1024 desktop: 1280 by 960, 32 from the top
        {1279, 719, 120, 90, 160, 0, 1120, 720},   // a wide screen: 960 wide, centred
        {399, 299, 120, 90, 0, 0, 400, 300},       // the same shape: untouched
        {99, 99, 100, 50, 0, 25, 100, 75},
    };
    for (const auto& c : cases) {
        const wxRect r = CVideoDialog::FitToPicture(c.right, c.bottom, c.pw, c.ph);
        EXPECT_EQ(r.GetLeft(), c.l);
        EXPECT_EQ(r.GetTop(), c.t);
        EXPECT_EQ(r.GetLeft() + r.GetWidth(), c.r);
        EXPECT_EQ(r.GetTop() + r.GetHeight(), c.b);
    }
}

} // namespace
} // namespace orvane
