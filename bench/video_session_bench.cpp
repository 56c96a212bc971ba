// Pictures a second between two video session threads on loopback.
//
// Session/KIND: two session threads over a TCP channel (the peer links' frame, compressed
// above its threshold as in the program), each with a test camera that paints a new
// picture of 120 x 90 for every request; the counter "fps" is the pictures shown per
// second on one side. KIND 0 moves a pattern by one column a picture (deltas of a part of
// the picture); KIND 1 changes every pixel every picture (deltas as large as key frames).
//
// Capture: as Session/0, but one side's pictures come from the capture thread with the
// synthetic camera (160 x 120, 24 bits, scaled to 120 x 90), which stores a new frame about
// every 30 ms: "fps" counts the captured pictures shown on the other side, the figure a
// user sees.
//
// BareExchange: the floor of the link, no codec and no frame layer: one thread sends a
// whole 120 x 90 picture (32 405 bytes) on a bare socket and waits for the other's
// 8-byte request before the next, as the session's stop-and-wait does.

#include "core/channels/TcpModuleConnection.h"
#include "modules/video/CaptureFrameSource.h"
#include "modules/video/SyntheticCaptureSource.h"
#include "modules/video/VideoSessionThread.h"
#include "tests/foundation/LoopbackSockets.h"
#include "bench/VideoSessionSide.h"
#include "tests/modules/VideoSessionPeers.h"

#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// A camera whose every picture differs from the last in every pixel.
class FlickerCamera final : public VideoFrameSource {
public:
    void getFrame(VideoImage* image, int width, int height) override
    {
        const uint32_t colour = (frame_++ & 1) ? 0xF0F0F0 : 0x101010;
        pixels_.assign(static_cast<size_t>(width) * height, colour);
        for (size_t i = 0; i < pixels_.size(); i += 7)
            pixels_[i] ^= 0x808080;
        image->setPixels(pixels_.data(), width, height);
    }

private:
    int frame_ = 0;
    Picture pixels_;
};

// Counts the pictures the window shows until the state's iterations are done.
void countPictures(benchmark::State& state, RecordingWindow& window)
{
    window.waitUntil([](RecordingWindow& w) { return w.remoteCount() >= 2; });
    int shown = window.remoteCount();
    const int first = shown;
    for (auto _ : state) {
        const int before = shown;
        if (!window.waitUntil([&](RecordingWindow& w) { return (shown = w.remoteCount()) > before; })) {
            state.SkipWithError("no picture within 10 s");
            break;
        }
    }
    state.counters["fps"] = benchmark::Counter(shown - first, benchmark::Counter::kIsRate);
}

// Joins the two sides, counts the pictures one window shows, and ends both sessions.
void exchange(benchmark::State& state, VideoSessionSide& a, VideoSessionSide& b, RecordingWindow& counted)
{
    ConnectedPair pair = connectedPair();
    a.start(pair.client.release());
    b.start(pair.server.release());
    countPictures(state, counted);
    for (VideoSessionSide* side : {&a, &b})
        side->end();
}

void Session(benchmark::State& state)
{
    PatternCamera pattern(0, 120, 90);
    PatternCamera otherPattern(1, 120, 90);
    FlickerCamera flicker;
    FlickerCamera otherFlicker;
    const bool full = state.range(0) == 1;
    VideoSessionSide a(full ? static_cast<VideoFrameSource&>(flicker) : pattern);
    VideoSessionSide b(full ? static_cast<VideoFrameSource&>(otherFlicker) : otherPattern);
    exchange(state, a, b, a.window);
}
BENCHMARK(Session)->Arg(0)->Arg(1)->ArgName("kind")->UseRealTime()->MinTime(3.0);

void Capture(benchmark::State& state)
{
    VideoThread capture([] { return std::make_unique<SyntheticCaptureSource>(160, 120, 24); });
    capture.init();
    capture.start();
    if (!capture.waitForFrame(5000)) {
        state.SkipWithError("the synthetic camera gave no frame");
        return;
    }
    CaptureFrameSource frames(capture);
    PatternCamera pattern(1, 120, 90);
    VideoSessionSide a(frames);
    VideoSessionSide b(pattern);
    exchange(state, a, b, b.window);
    capture.stop(true);
}
BENCHMARK(Capture)->UseRealTime()->MinTime(3.0);

void BareExchange(benchmark::State& state)
{
    ConnectedPair pair = connectedPair();
    const std::vector<uint8_t> picture(32405, 0x5a);
    std::thread asker([fd = pair.server.get()] {
        std::vector<uint8_t> buffer(32405);
        const uint8_t request[8] = {0, 'T', 'a', 'v', 'e', 'l', 'o', 'r'};
        for (;;) {
            size_t got = 0;
            while (got < buffer.size()) {
                const ssize_t n = ::recv(fd, buffer.data() + got, buffer.size() - got, 0);
                if (n <= 0)
                    return;
                got += static_cast<size_t>(n);
            }
            if (::send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request)
                return;
        }
    });
    int64_t pictures = 0;
    for (auto _ : state) {
        uint8_t request[8];
        if (::send(pair.client, picture.data(), picture.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(picture.size()) ||
            ::recv(pair.client, request, sizeof request, MSG_WAITALL) != sizeof request) {
            state.SkipWithError("link broke");
            break;
        }
        ++pictures;
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
    ::shutdown(pair.client, SHUT_RDWR);
    asker.join();
}
BENCHMARK(BareExchange)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
