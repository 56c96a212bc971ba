// The video frame codec at the send size, 120 by 90, frame after frame of a camera picture
// with typical motion: a square moving across a still background, camera noise below the
// change threshold everywhere, and a few noisy pixels above it. One iteration is what one
// frame costs both sides: the sender's diff against its reference, encoding, and the
// receiver's decoding and applying (or a key frame's encoding and decoding).
//
// The peer sends the same frames losslessly the general-purpose way: each frame's 3-byte
// pixels XORed with the previous frame, deflated by zlib at level 1, inflated and XORed back
// on the receiving side. Bytes a frame are reported as a counter for both.

#include "modules/video/VideoImage.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

using namespace orvane;

namespace {

constexpr int W = 120;
constexpr int H = 90;
constexpr int Frames = 32;

std::vector<std::vector<uint32_t>> cameraFrames()
{
    std::vector<std::vector<uint32_t>> frames(Frames, std::vector<uint32_t>(W * H));
    unsigned seed = 12345;
    for (int f = 0; f < Frames; ++f)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                seed = seed * 1103515245 + 12345;
                unsigned r = seed >> 16;
                int noise = static_cast<int>(r % 9) - 4;
                if (r % 100 == 0)
                    noise = 30; // a noisy pixel above the threshold
                bool square = x >= (f * 3) % W && x < (f * 3) % W + 24 && y >= 30 && y < 60;
                int v = (square ? 220 : 40 + (x * 2 + y) % 120) + noise;
                v = v < 0 ? 0 : v > 255 ? 255 : v;
                frames[f][y * W + x] = static_cast<uint32_t>(v << 16 | (255 - v) << 8 | (v / 2));
            }
    return frames;
}

void DeltaFrame(benchmark::State& state)
{
    auto frames = cameraFrames();
    VideoImage reference, current, received;
    reference.setPixels(frames[0].data(), W, H);
    received.setPixels(frames[0].data(), W, H);
    RunList sendRuns, receivedRuns;
    ByteArray bytes;
    int f = 1;
    int64_t sent = 0;
    for (auto _ : state) {
        current.setPixels(frames[f].data(), W, H);
        VideoImage::diffFrames(reference, current, sendRuns);
        reference.applyRuns(sendRuns);
        int n = VideoImage::encodeRuns(sendRuns, bytes);
        VideoImage::decodeRuns(bytes.data(), n, receivedRuns, received.pixelCount());
        received.applyRuns(receivedRuns);
        benchmark::DoNotOptimize(received.pixels());
        sent += n;
        f = f + 1 == Frames ? 1 : f + 1;
    }
    state.counters["bytes/frame"] = static_cast<double>(sent) / static_cast<double>(state.iterations());
}
BENCHMARK(DeltaFrame);

// The worst delta: every pixel changes (the light goes on), into a run list that has not
// grown yet, as in a session's first delta.
void DeltaFrameEveryPixelChanging(benchmark::State& state)
{
    auto frames = cameraFrames();
    std::vector<uint32_t> inverted(frames[0]);
    for (uint32_t& pixel : inverted)
        pixel ^= 0xFFFFFFu;
    VideoImage reference, current, received;
    ByteArray bytes;
    bool flip = false;
    for (auto _ : state) {
        reference.setPixels(flip ? inverted.data() : frames[0].data(), W, H);
        received.setPixels(flip ? inverted.data() : frames[0].data(), W, H);
        current.setPixels(flip ? frames[0].data() : inverted.data(), W, H);
        RunList sendRuns, receivedRuns;
        VideoImage::diffFrames(reference, current, sendRuns);
        int n = VideoImage::encodeRuns(sendRuns, bytes);
        VideoImage::decodeRuns(bytes.data(), n, receivedRuns, received.pixelCount());
        received.applyRuns(receivedRuns);
        benchmark::DoNotOptimize(received.pixels());
        flip = !flip;
    }
}
BENCHMARK(DeltaFrameEveryPixelChanging);

void KeyFrame(benchmark::State& state)
{
    auto frames = cameraFrames();
    VideoImage received;
    ByteArray bytes;
    int f = 0;
    for (auto _ : state) {
        int n = VideoImage::encodeKeyFrame(frames[f].data(), W, H, bytes);
        received.decodeKeyFrame(bytes.data(), n, W, H);
        benchmark::DoNotOptimize(received.pixels());
        f = (f + 1) % Frames;
    }
    state.counters["bytes/frame"] = 3.0 * W * H;
}
BENCHMARK(KeyFrame);

// The peer: lossless XOR difference, deflated.
void ZlibDeltaFrame(benchmark::State& state)
{
    auto frames = cameraFrames();
    std::vector<uint8_t> previous(3 * W * H), receivedPicture(3 * W * H), diff(3 * W * H), restored(3 * W * H);
    auto toBytes = [](const std::vector<uint32_t>& pixels, std::vector<uint8_t>& out) {
        for (size_t i = 0; i < pixels.size(); ++i) {
            out[3 * i] = static_cast<uint8_t>(pixels[i] >> 16);
            out[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
            out[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
        }
    };
    toBytes(frames[0], previous);
    receivedPicture = previous;
    std::vector<uint8_t> current(3 * W * H);
    std::vector<uint8_t> packed(compressBound(3 * W * H));
    int f = 1;
    int64_t sent = 0;
    for (auto _ : state) {
        toBytes(frames[f], current);
        for (size_t i = 0; i < current.size(); ++i)
            diff[i] = current[i] ^ previous[i];
        uLongf packedLength = packed.size();
        compress2(packed.data(), &packedLength, diff.data(), diff.size(), 1);
        previous.swap(current);
        uLongf restoredLength = restored.size();
        uncompress(restored.data(), &restoredLength, packed.data(), packedLength);
        for (size_t i = 0; i < restored.size(); ++i)
            receivedPicture[i] ^= restored[i];
        benchmark::DoNotOptimize(receivedPicture.data());
        sent += static_cast<int64_t>(packedLength);
        f = f + 1 == Frames ? 1 : f + 1;
    }
    state.counters["bytes/frame"] = static_cast<double>(sent) / static_cast<double>(state.iterations());
}
BENCHMARK(ZlibDeltaFrame);

// A 320 by 240 camera frame shrunk to the send size, as each session asks for it.
void ShrinkCameraFrame(benchmark::State& state)
{
    std::vector<uint32_t> camera(320 * 240);
    for (size_t i = 0; i < camera.size(); ++i)
        camera[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
    std::vector<uint32_t> out(W * H);
    for (auto _ : state) {
        VideoImage::scaleImage(camera.data(), 320, 240, out.data(), W, H);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(ShrinkCameraFrame);

} // namespace

BENCHMARK_MAIN();
