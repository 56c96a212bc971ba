// How long a recorded buffer takes to become an encoded frame: from the moment the
// capture device hands the buffer over to the moment the engine's listener has the frame.
//
// EngineLatency/MODE: through VoiceEngine, its recorder thread and the codec of the mode
// byte, with a capture device that gives a buffer whenever the benchmark releases one
// (so the thread waits in its read, as it does on a real device). The time of each
// iteration is that one buffer's latency.
// DirectCodec/MODE, the peer: the same codec called on the thread that holds the buffer,
// with no thread, queue or copy between: the codec's own cost.
//
// Modes: 132 (iLBC 30 ms, the program's), 130 (GSM), 133 (mu-law), 128 (raw PCM).

#include "voice/VoiceEngine.h"
#include "voice/VoiceMode.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

using namespace orvane;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<int16_t> speechLike(size_t count)
{
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<int16_t>(6000 * std::sin(i * 0.21) + 2500 * std::sin(i * 0.057));
    return out;
}

// Hands out one buffer per release, stamping the moment it does.
struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    int released = 0;
    Clock::time_point handedOver;
    bool frameSeen = false;
    Clock::time_point frameAt;
    bool closing = false;
};

class GatedInput : public AudioDevice {
public:
    explicit GatedInput(Gate& gate) : gate_(gate), sound_(speechLike(8000)) {}
    bool openOutput(const AudioFormat&) override { return false; }
    bool write(const uint8_t*, size_t) override { return false; }
    int64_t pendingMillis() override { return 0; }
    void drain() override {}
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool openInput(const AudioFormat& format) override
    {
        open_ = format.bitsPerSample == 16;
        return open_;
    }
    long read(uint8_t* data, size_t frames) override
    {
        std::unique_lock<std::mutex> guard(gate_.lock);
        gate_.changed.wait(guard, [&] { return gate_.released > 0 || gate_.closing; });
        if (gate_.closing)
            return 0;
        --gate_.released;
        for (size_t i = 0; i < frames; ++i) {
            const int16_t v = sound_[(offset_ + i) % sound_.size()];
            std::memcpy(data + 2 * i, &v, 2);
        }
        offset_ += frames;
        gate_.handedOver = Clock::now();
        return static_cast<long>(frames);
    }

private:
    Gate& gate_;
    std::vector<int16_t> sound_;
    size_t offset_ = 0;
    bool open_ = false;
};

class Stamp : public VoiceEngineListener {
public:
    explicit Stamp(Gate& gate) : gate_(gate) {}
    void onEncodedFrame(int, const uint8_t*, int) override
    {
        const auto now = Clock::now();
        {
            std::lock_guard<std::mutex> guard(gate_.lock);
            gate_.frameAt = now;
            gate_.frameSeen = true;
        }
        gate_.changed.notify_all();
    }

private:
    Gate& gate_;
};

void EngineLatency(benchmark::State& state)
{
    const uint8_t mode = static_cast<uint8_t>(state.range(0));
    Gate gate;
    VoiceEngine::Settings settings;
    settings.input = [&gate] { return std::unique_ptr<AudioDevice>(new GatedInput(gate)); };
    // Playback is not measured: a channel only has to exist for frames to be told.
    settings.output = [] { return std::unique_ptr<AudioDevice>(); };
    settings.report = [](const char*) {};
    Stamp stamp(gate);
    VoiceEngine engine(settings);
    engine.setMode(mode);
    engine.setListener(&stamp);
    engine.createChannel();
    engine.startRecording();
    for (auto _ : state) {
        std::unique_lock<std::mutex> guard(gate.lock);
        gate.frameSeen = false;
        ++gate.released;
        gate.changed.notify_all();
        gate.changed.wait(guard, [&] { return gate.frameSeen; });
        state.SetIterationTime(std::chrono::duration<double>(gate.frameAt - gate.handedOver).count());
    }
    {
        std::lock_guard<std::mutex> guard(gate.lock);
        gate.closing = true;
    }
    gate.changed.notify_all();
    engine.closeAll();
    state.SetLabel("engine");
}

void DirectCodec(benchmark::State& state)
{
    const VoiceMode mode = VoiceMode::parse(static_cast<uint8_t>(state.range(0)));
    const auto codec = mode.createCodec();
    const std::vector<int16_t> sound = speechLike(8000);
    ByteArray out;
    size_t offset = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int16_t* buffer = sound.data() + offset;
        if (codec)
            codec->encode16(buffer, mode.samplesPerFrame, out, false);
        benchmark::DoNotOptimize(out.data());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        offset = (offset + static_cast<size_t>(mode.samplesPerFrame)) % (8000 - 1000);
    }
    state.SetLabel("peer: codec on the reading thread");
}

} // namespace

BENCHMARK(EngineLatency)->Arg(132)->Arg(130)->Arg(133)->Arg(128)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(DirectCodec)->Arg(132)->Arg(130)->Arg(133)->Arg(128)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
