// What a video call costs per picture, the frame codec against the whole packet path.
//
// The pictures are the program's camera path: the synthetic camera (160 x 120, 24 bits,
// bars and a moving square) converted and scaled to the send size, 120 x 90, as the capture
// thread hands them to a session. One iteration is one picture from one side to the other.
//
// CodecAlone: the sender's diff against what the peer holds, the change runs (or, for the
// first picture, the key frame) laid out as the video packet, and the receiver taking the
// packet into its picture: what the session threads do besides the link.
//
// PacketPath: the same, with the packet sent through the peer links' frame on a loopback TCP
// channel and received on the other end (compressed by zlib above 300 bytes, inflated on
// arrival), as in a call. The difference is what the link's frame costs.
//
// Call: two session threads over a loopback channel, both with cameras that change every
// 30 ms like the capture thread's. Reports the CPU time one side's session thread takes per
// picture it shows ("cpu_us_per_picture", sending its own and taking the peer's included)
// and its share of one core ("cpu_share"): one side of a live call.

#include "bench/VideoSessionSide.h"
#include "core/channels/TcpModuleConnection.h"
#include "modules/video/PictureSender.h"
#include "modules/video/RemotePicture.h"
#include "modules/video/SyntheticCaptureSource.h"
#include "modules/video/VideoThread.h"
#include "tests/foundation/LoopbackSockets.h"
#include "tests/modules/VideoSessionPeers.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int SendWidth = 120;
constexpr int SendHeight = 90;
constexpr int Pictures = 64;

std::vector<VideoImage> cameraPictures()
{
    SyntheticCaptureSource camera(160, 120, 24);
    camera.open();
    std::vector<VideoImage> pictures(Pictures);
    ByteArray dib;
    for (VideoImage& picture : pictures) {
        camera.grab(dib);
        picture.setFromCaptureDib(dib.data(), static_cast<size_t>(dib.count()));
        picture.resizeImage(SendWidth, SendHeight);
    }
    camera.close();
    return pictures;
}

void CodecAlone(benchmark::State& state)
{
    const std::vector<VideoImage> pictures = cameraPictures();
    PictureSender sender;
    RemotePicture receiver;
    VideoImage picture;
    size_t next = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        picture = pictures[next++ % pictures.size()];
        const ByteArray& packet = sender.packetFor(picture);
        bytes += packet.count();
        if (receiver.take(packet.data(), packet.count(), false) == RemotePicture::Taken::Refused) {
            state.SkipWithError("the receiver refused a packet");
            break;
        }
    }
    state.counters["packet_bytes"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(CodecAlone);

void PacketPath(benchmark::State& state)
{
    const std::vector<VideoImage> pictures = cameraPictures();
    ConnectedPair pair = connectedPair();
    // close() ends a channel and deletes it, as the program's channels are made.
    auto& out = *new TcpModuleConnection(pair.client.release());
    auto& in = *new TcpModuleConnection(pair.server.release());
    PictureSender sender;
    RemotePicture receiver;
    VideoImage picture;
    size_t next = 0;
    for (auto _ : state) {
        picture = pictures[next++ % pictures.size()];
        const ByteArray& packet = sender.packetFor(picture);
        out.send(packet.data(), packet.count());
        const int length = in.receive(5000);
        if (length <= 0 || receiver.take(in.data(), length, false) == RemotePicture::Taken::Refused) {
            state.SkipWithError("the packet did not come through");
            break;
        }
    }
    out.close();
    in.close();
}
BENCHMARK(PacketPath);

// A camera as the capture thread makes it look to a session: a new picture every 30 ms,
// the same one in between. Notes the CPU time of the thread that asks (the session thread)
// at every call.
class PacedCamera final : public VideoFrameSource {
public:
    explicit PacedCamera(const std::vector<VideoImage>& pictures) : pictures_(pictures), start_(now(CLOCK_MONOTONIC)) {}
    void getFrame(VideoImage* image, int, int) override
    {
        cpuNs_.store(now(CLOCK_THREAD_CPUTIME_ID));
        const int64_t tick = (now(CLOCK_MONOTONIC) - start_) / (VideoThread::LoopIntervalMs * 1000000LL);
        *image = pictures_[static_cast<size_t>(tick) % pictures_.size()];
    }
    int64_t cpuNs() const { return cpuNs_.load(); }

    static int64_t now(clockid_t clock)
    {
        timespec t{};
        clock_gettime(clock, &t);
        return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    }

private:
    const std::vector<VideoImage>& pictures_;
    const int64_t start_;
    std::atomic<int64_t> cpuNs_{0};
};

// Two sides, each with a camera that changes every 30 ms; one iteration is a picture side A
// shows. The counters are side A's session thread: its CPU time per picture and its share
// of one core.
void Call(benchmark::State& state)
{
    const std::vector<VideoImage> pictures = cameraPictures();
    PacedCamera cameraA(pictures);
    PacedCamera cameraB(pictures);
    VideoSessionSide a(cameraA);
    VideoSessionSide b(cameraB);
    ConnectedPair pair = connectedPair();
    a.start(pair.client.release());
    b.start(pair.server.release());
    // Past the key frames, then one iteration a picture.
    a.window.waitUntil([](RecordingWindow& w) { return w.remoteCount() >= 2; });
    const int64_t cpuBefore = cameraA.cpuNs();
    const int64_t wallBefore = PacedCamera::now(CLOCK_MONOTONIC);
    int shown = a.window.remoteCount();
    const int first = shown;
    for (auto _ : state) {
        const int before = shown;
        if (!a.window.waitUntil([&](RecordingWindow& w) { return (shown = w.remoteCount()) > before; })) {
            state.SkipWithError("no picture within 10 s");
            break;
        }
    }
    const int64_t cpuNs = cameraA.cpuNs() - cpuBefore;
    const int64_t wallNs = PacedCamera::now(CLOCK_MONOTONIC) - wallBefore;
    a.end();
    b.end();
    if (shown > first) {
        state.counters["cpu_us_per_picture"] = static_cast<double>(cpuNs) / 1000.0 / (shown - first);
        state.counters["cpu_share"] = static_cast<double>(cpuNs) / static_cast<double>(wallNs);
    }
}
BENCHMARK(Call)->UseRealTime()->Iterations(200);

} // namespace

BENCHMARK_MAIN();
