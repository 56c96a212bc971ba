// Video session threads over real TCP channels on loopback: two threads with test cameras
// trading pictures, and one thread against a peer the test scripts packet by packet, with
// the packets written by hand.

#include "core/channels/TcpModuleConnection.h"
#include "modules/video/CaptureFrameSource.h"
#include "modules/video/SyntheticCaptureSource.h"
#include "modules/video/VideoPacket.h"
#include "modules/video/VideoSessionThread.h"
#include "tests/foundation/LoopbackSockets.h"
#include "tests/modules/RecordingHost.h"
#include "tests/modules/VideoSessionPeers.h"
#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace orvane {
namespace {

using namespace orvane::testing;
using EndReason = VideoSessionThread::EndReason;
using Clock = std::chrono::steady_clock;


// One side of a session: its window, its camera (or none), the thread, and the count of
// what it sent.
struct Side {
    Side(int sendWidth, int sendHeight, int cameraKind = -1,
         const VideoSessionThread::Settings& settings = VideoSessionThread::Settings{})
        : window(sendWidth, sendHeight), thread(settings)
    {
        if (cameraKind >= 0)
            camera = std::make_unique<PatternCamera>(cameraKind, sendWidth, sendHeight);
    }

    void start(SocketHandle socket)
    {
        thread.setWindow(&window);
        thread.setFrameSource(camera.get());
        thread.setConnection(new CountingConnection(new TcpModuleConnection(socket), counts));
        thread.init();
        thread.start();
    }

    void finish()
    {
        thread.endSession();
        thread.stop(true);
    }

    RecordingWindow window;
    PacketCounts counts;
    std::unique_ptr<PatternCamera> camera;
    VideoSessionThread thread;
};

void startPair(Side& a, Side& b)
{
    ConnectedPair pair = connectedPair();
    a.start(pair.client.release());
    b.start(pair.server.release());
}

// Finds each shown picture among the camera's pictures, in the order they were painted;
// answers how many were found so.
int picturesInCameraOrder(const std::vector<RecordingWindow::Shown>& shown, const PatternCamera& camera,
                          int width, int height)
{
    int frame = 0;
    int found = 0;
    for (const RecordingWindow::Shown& s : shown) {
        if (s.width != width || s.height != height)
            return found;
        while (frame < camera.framesTaken() && patternPicture(camera.kind(), frame, width, height) != s.pixels)
            ++frame;
        if (frame == camera.framesTaken())
            return found;
        ++found;
    }
    return found;
}

// The four yellow corner brackets of a 120 x 90 picture, written out by hand: a tenth of
// each side in from every corner (columns 12 and 108, rows 9 and 81), a tenth long.
bool onBracket120x90(int x, int y)
{
    const bool nearColumn = (x >= 12 && x <= 24) || (x >= 96 && x <= 108);
    const bool nearRow = (y >= 9 && y <= 18) || (y >= 72 && y <= 81);
    return ((y == 9 || y == 81) && nearColumn) || ((x == 12 || x == 108) && nearRow);
}

TEST(VideoSession, PicturesArriveInBothDirectionsAsTheCamerasPaintedThem)
{
    Side a(120, 90, 0);
    Side b(80, 60, 1); // sends smaller pictures than it receives
    startPair(a, b);
    const int wanted = 12;
    ASSERT_TRUE(a.window.waitUntil([&](RecordingWindow& w) { return w.remoteCount() >= wanted; }));
    ASSERT_TRUE(b.window.waitUntil([&](RecordingWindow& w) { return w.remoteCount() >= wanted; }));
    a.finish();
    b.finish();

    EXPECT_EQ(picturesInCameraOrder(a.window.remote(), *b.camera, 80, 60), a.window.remoteCount());
    EXPECT_EQ(picturesInCameraOrder(b.window.remote(), *a.camera, 120, 90), b.window.remoteCount());
    // What each side shows as its own is what the other received, in the same order.
    EXPECT_EQ(picturesInCameraOrder(a.window.local(), *a.camera, 120, 90), a.window.localCount());
    // One key frame per direction, then deltas: the size never changed.
    EXPECT_EQ(a.counts.of(VideoPacket::KeyFrame), 1);
    EXPECT_EQ(b.counts.of(VideoPacket::KeyFrame), 1);
    EXPECT_GE(a.counts.of(VideoPacket::DeltaFrame), wanted - 1);
    EXPECT_GE(b.counts.of(VideoPacket::DeltaFrame), wanted - 1);
    for (Side* s : {&a, &b}) {
        EXPECT_EQ(s->window.started(), 1);
        EXPECT_EQ(s->window.closed(), 1);
        EXPECT_FALSE(s->thread.hasConnection());
        EXPECT_FALSE(s->thread.isRunning());
    }
}

// Answers whether `part` appears within `whole` in order.
bool inOrderWithin(const std::vector<RecordingWindow::Shown>& part, const std::vector<RecordingWindow::Shown>& whole)
{
    size_t at = 0;
    for (const RecordingWindow::Shown& s : part) {
        while (at < whole.size() && !(whole[at] == s))
            ++at;
        if (at == whole.size())
            return false;
    }
    return true;
}

TEST(VideoSession, CapturedPicturesTravelFromTheCaptureThreadToThePeersWindow)
{
    // One capture thread a program: A's camera is larger than the send size and is scaled
    // down; B paints its pictures at the send size.
    VideoThread capture([] { return std::make_unique<SyntheticCaptureSource>(160, 120, 24); });
    capture.init();
    capture.start();
    ASSERT_TRUE(capture.waitForFrame(5000));
    CaptureFrameSource frames(capture);
    Side a(120, 90);
    Side b(120, 90, 3);
    a.thread.setFrameSource(&frames);
    ConnectedPair pair = connectedPair();
    a.thread.setConnection(new TcpModuleConnection(pair.client.release()));
    b.start(pair.server.release());
    a.thread.setWindow(&a.window);
    a.thread.init();
    a.thread.start();
    ASSERT_TRUE(a.window.waitUntil([](RecordingWindow& w) { return w.remoteCount() >= 5; }));
    ASSERT_TRUE(b.window.waitUntil([](RecordingWindow& w) { return w.remoteCount() >= 5; }));
    a.finish();
    b.finish();
    capture.stop(true);

    // What B received is what A showed as sent, scaled to the send size, in order.
    ASSERT_FALSE(b.window.remote().empty());
    EXPECT_EQ(b.window.remote().front().width, 120);
    EXPECT_EQ(b.window.remote().front().height, 90);
    EXPECT_TRUE(inOrderWithin(b.window.remote(), a.window.local()));
    // The moving square of the test pattern (white) is in every picture.
    for (const RecordingWindow::Shown& s : b.window.remote())
        EXPECT_NE(std::count(s.pixels.begin(), s.pixels.end(), 0xFFFFFFu), 0);
    EXPECT_EQ(picturesInCameraOrder(a.window.remote(), *b.camera, 120, 90), a.window.remoteCount());
}

TEST(VideoSession, APeerWithoutCameraSendsOurPictureBackInYellowBrackets)
{
    Side a(120, 90, 2);
    Side b(120, 90);
    startPair(a, b);
    ASSERT_TRUE(a.window.waitUntil([&](RecordingWindow& w) { return w.remoteCount() >= 3; }));
    a.finish();
    b.finish();

    // Each picture that came back is one that was sent, with the brackets on top.
    int frame = 0;
    for (const RecordingWindow::Shown& back : a.window.remote()) {
        ASSERT_EQ(back.width, 120);
        ASSERT_EQ(back.height, 90);
        bool matched = false;
        for (; frame < a.camera->framesTaken() && !matched; ++frame) {
            const Picture sent = patternPicture(2, frame, 120, 90);
            matched = true;
            for (int y = 0; y < 90 && matched; ++y)
                for (int x = 0; x < 120 && matched; ++x)
                    matched = back.pixels[y * 120 + x] == (onBracket120x90(x, y) ? 0xE5E500u : sent[y * 120 + x]);
        }
        EXPECT_TRUE(matched) << "a returned picture that was never sent";
    }
    // The side without camera shows as its own what it returned (its last answer may still
    // have been on its way when the sessions ended).
    EXPECT_TRUE(inOrderWithin(a.window.remote(), b.window.local()));
}

TEST(VideoSession, TwoSidesWithoutCamerasPauseBetweenTheirNoFrameAnswers)
{
    VideoSessionThread::Settings settings;
    settings.noFramePauseMs = 40;
    Side a(120, 90, -1, settings);
    Side b(120, 90, -1, settings);
    const auto begun = Clock::now();
    startPair(a, b);
    const int requests = 11;
    ASSERT_TRUE(a.counts.waitFor(VideoPacket::FrameRequest, requests));
    const auto elapsed = Clock::now() - begun;
    a.finish();
    b.finish();

    // Every request after the first waited out a pause behind a "no frame".
    EXPECT_GE(elapsed, std::chrono::milliseconds((requests - 1) * settings.noFramePauseMs));
    EXPECT_GE(b.counts.of(VideoPacket::NoFrame), requests - 1);
    for (Side* s : {&a, &b}) {
        EXPECT_EQ(s->window.remoteCount(), 0) << "no picture exists anywhere";
        EXPECT_EQ(s->window.localCount(), 0);
        EXPECT_EQ(s->counts.of(VideoPacket::KeyFrame) + s->counts.of(VideoPacket::DeltaFrame), 0);
    }
}

TEST(VideoSession, WhenOneSideEndsTheOtherSeesTheChannelClose)
{
    Side a(120, 90, 0);
    Side b(120, 90, 1);
    startPair(a, b);
    ASSERT_TRUE(a.window.waitUntil([&](RecordingWindow& w) { return w.remoteCount() >= 1; }));
    b.finish();
    EXPECT_EQ(b.thread.endReason(), EndReason::Ended);
    ASSERT_TRUE(a.window.waitUntil([&](RecordingWindow& w) { return w.closed() == 1; }));
    a.thread.stop(true);
    EXPECT_EQ(a.thread.endReason(), EndReason::ChannelClosed);
    EXPECT_FALSE(a.thread.hasConnection());
}

// The far end of a session thread's channel, played by the test.
class ScriptedPeer {
public:
    explicit ScriptedPeer(SocketHandle socket) : channel_(new TcpModuleConnection(socket)) {}
    ~ScriptedPeer() { channel_->close(); }

    void send(const char* hex)
    {
        const std::vector<uint8_t> bytes = bytesOfHex(hex);
        channel_->send(bytes.data(), static_cast<int>(bytes.size()));
    }
    // The next packet from the thread, as bytes; empty when none came within 5 s.
    std::vector<uint8_t> next()
    {
        const int n = channel_->receive(5000);
        return std::vector<uint8_t>(channel_->data(), channel_->data() + (n > 0 ? n : 0));
    }
    // True when the thread closed the channel within 5 s.
    bool seesClose()
    {
        try {
            for (auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;)
                channel_->receive(100);
        } catch (const IModuleConnection::ConnectionException&) {
            return true;
        }
        return false;
    }
    SocketHandle socket() const { return channel_->socket(); }

private:
    TcpModuleConnection* channel_;
};

const char* const Request = "00546176656c6f72";
// A 2 x 2 key frame and its pixels as shown.
const char* const Key2x2 = "0100020002" "102030" "405060" "708090" "a0b0c0";
const Picture Key2x2Pixels = {0x102030, 0x405060, 0x708090, 0xa0b0c0};

struct ScriptedSession {
    explicit ScriptedSession(int cameraKind = -1) : side(120, 90, cameraKind)
    {
        ConnectedPair pair = connectedPair();
        peer = std::make_unique<ScriptedPeer>(pair.server.release());
        side.start(pair.client.release());
    }
    ~ScriptedSession() { side.finish(); }

    Side side;
    std::unique_ptr<ScriptedPeer> peer;
};

TEST(VideoSession, AsksFirstAnswersWithAKeyFrameThenDeltasAndSkipsWhatItDoesNotKnow)
{
    ScriptedSession s(0);
    ScriptedPeer& peer = *s.peer;
    EXPECT_EQ(peer.next(), bytesOfHex(Request));

    // An unknown type is no answer: the thread's next packet answers our request.
    peer.send("07ff");
    peer.send(Request);
    std::vector<uint8_t> key = peer.next();
    ASSERT_EQ(key.size(), 5u + 3u * 120u * 90u) << "32 405 bytes for 120 x 90";
    EXPECT_EQ(std::vector<uint8_t>(key.begin(), key.begin() + 5), bytesOfHex("0100780" "05a"));

    // A delta before any key frame changes nothing, but is an answer.
    peer.send("0200000b0000000002aabbcc112233");
    EXPECT_EQ(peer.next(), bytesOfHex(Request));
    EXPECT_EQ(s.side.window.remoteCount(), 0);

    peer.send(Request);
    std::vector<uint8_t> delta = peer.next();
    ASSERT_GE(delta.size(), 4u);
    EXPECT_EQ(delta[0], VideoPacket::DeltaFrame);
    EXPECT_EQ((delta[1] << 16 | delta[2] << 8 | delta[3]) + 4, static_cast<int>(delta.size()));

    peer.send(Key2x2);
    EXPECT_EQ(peer.next(), bytesOfHex(Request));
    ASSERT_EQ(s.side.window.remoteCount(), 1);
    EXPECT_EQ(s.side.window.remote().back(), (RecordingWindow::Shown{2, 2, Key2x2Pixels}));
}

TEST(VideoSession, WithTheHighlightOnChangedPlacesShowTheirOldColourMaskedUntilTheNextDelta)
{
    ScriptedSession s;
    ScriptedPeer& peer = *s.peer;
    EXPECT_EQ(peer.next(), bytesOfHex(Request));
    // A 4 x 2 picture.
    peer.send("0100040002" "101010" "202020" "303030" "404040" "505050" "606060" "707070" "808080");
    EXPECT_EQ(peer.next(), bytesOfHex(Request));

    s.side.thread.setHighlight(true);
    peer.send("0200000b" "0000010002" "a1a1a1" "b2b2b2"); // pixels 1 and 2
    EXPECT_EQ(peer.next(), bytesOfHex(Request));
    EXPECT_EQ(s.side.window.remote().back().pixels,
              (Picture{0x101010, 0x20f020, 0x30f030, 0x404040, 0x505050, 0x606060, 0x707070, 0x808080}));

    peer.send("0200000b" "0000050002" "c3c3c3" "d4d4d4"); // pixels 5 and 6
    EXPECT_EQ(peer.next(), bytesOfHex(Request));
    EXPECT_EQ(s.side.window.remote().back().pixels,
              (Picture{0x101010, 0xa1a1a1, 0xb2b2b2, 0x404040, 0x505050, 0x60f060, 0x70f070, 0x808080}));

    // Switched off, the last highlighted places keep their mask until covered.
    s.side.thread.setHighlight(false);
    peer.send("0200000b" "0000000002" "010101" "020202"); // pixels 0 and 1
    EXPECT_EQ(peer.next(), bytesOfHex(Request));
    EXPECT_EQ(s.side.window.remote().back().pixels,
              (Picture{0x010101, 0x020202, 0xb2b2b2, 0x404040, 0x505050, 0x60f060, 0x70f070, 0x808080}));
}

TEST(VideoSession, AFrameWhoseLengthsDoNotAddUpIsRefusedWholeAndEndsTheSession)
{
    struct Case {
        const char* what;
        bool afterKeyFrame; // the 2 x 2 key frame first
        const char* hex;
    } cases[] = {
        {"key frame one pixel short", false, "0100020002" "102030" "405060" "708090"},
        {"key frame one byte long", false, "0100020002" "102030" "405060" "708090" "a0b0c0" "ff"},
        {"key frame of width 0", false, "0100000002"},
        {"key frame of 65535 x 65535 in a short packet", false, "01ffffffff" "102030"},
        {"delta announcing more than it holds", true, "020000ff" "0000000002" "aabbcc" "112233"},
        {"delta run reaching behind the picture", true, "0200000b" "0000030002" "aabbcc" "112233"},
        {"delta run starting far behind the picture", true, "0200000b" "ffff000002" "aabbcc" "112233"},
        {"delta run whose pixels are cut", true, "0200000b" "0000000003" "aabbcc" "112233"},
        {"delta second run reaching behind", true,
         "02000016" "0000000002" "aabbcc" "112233" "0000030002" "aabbcc" "112233"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedSession s;
        ScriptedPeer& peer = *s.peer;
        ASSERT_EQ(peer.next(), bytesOfHex(Request));
        if (c.afterKeyFrame) {
            peer.send(Key2x2);
            ASSERT_EQ(peer.next(), bytesOfHex(Request));
        }
        peer.send(c.hex);
        EXPECT_TRUE(peer.seesClose());
        ASSERT_TRUE(s.side.window.waitUntil([](RecordingWindow& w) { return w.closed() == 1; }));
        s.side.thread.stop(true);
        EXPECT_EQ(s.side.thread.endReason(), EndReason::MalformedPacket);
        // Nothing of the refused frame reached the picture.
        ASSERT_EQ(s.side.window.remoteCount(), c.afterKeyFrame ? 1 : 0);
        if (c.afterKeyFrame) {
            EXPECT_EQ(s.side.window.remote().back().pixels, Key2x2Pixels);
        }
    }
}

TEST(VideoSession, BytesThatAreNoFrameOrAPeerThatGoesAwayEndTheSession)
{
    for (const bool garbage : {true, false}) {
        SCOPED_TRACE(garbage ? "garbage" : "peer gone");
        ConnectedPair pair = connectedPair();
        Side side(120, 90, 0);
        side.start(pair.client.release());
        if (garbage)
            ASSERT_EQ(::send(pair.server, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL), 18);
        else
            pair.server.reset();
        ASSERT_TRUE(side.window.waitUntil([](RecordingWindow& w) { return w.closed() == 1; }));
        side.thread.stop(true);
        EXPECT_EQ(side.thread.endReason(), EndReason::ChannelClosed);
        EXPECT_EQ(side.window.remoteCount(), 0);
    }
}

TEST(VideoSession, OpensItsChannelThroughTheHostWhenNoneWasHandedOver)
{
    FakeContact bob("2002", "Bob %s%n");
    RecordingHost host;
    auto start = [&](VideoSessionThread& thread, RecordingWindow& window) {
        thread.setWindow(&window);
        thread.setHost(&host);
        thread.init();
        thread.start();
    };
    {
        // Nobody reachable: the contact's name, unformatted, in the status text.
        RecordingWindow window(120, 90, &bob);
        VideoSessionThread thread;
        start(thread, window);
        ASSERT_TRUE(window.waitUntil([](RecordingWindow& w) { return !w.statusLines().empty(); }));
        thread.stop(true);
        EXPECT_EQ(thread.endReason(), EndReason::NoConnection);
        EXPECT_EQ(window.statusLines(), std::vector<std::string>{"Can't connect [Bob %s%n] to open Video"});
        EXPECT_EQ(window.started(), 1);
        EXPECT_EQ(window.closed(), 0) << "there was no channel to close";
    }
    {
        ConnectedPair pair = connectedPair();
        ScriptedPeer peer(pair.server.release());
        host.tcpConnection = new TcpModuleConnection(pair.client.release());
        RecordingWindow window(120, 90, &bob);
        VideoSessionThread thread;
        start(thread, window);
        EXPECT_EQ(peer.next(), bytesOfHex(Request));
        EXPECT_TRUE(thread.hasConnection());
        thread.endSession();
        EXPECT_TRUE(peer.seesClose());
        thread.stop(true);
        EXPECT_EQ(thread.endReason(), EndReason::Ended);
        EXPECT_EQ(window.closed(), 1);
    }
    EXPECT_EQ(host.tcpOpened, (std::vector<std::string>{"2002", "2002"}));
}

} // namespace
} // namespace orvane
