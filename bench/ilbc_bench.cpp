// One frame of speech-like signal per iteration: our iLBC encoder and decoder in the 30 ms
// mode (the one the voice engine uses), libavcodec's iLBC decoder on the same frames, and
// libgsm's GSM 06.10 coder on the same signal (160-sample frames: 20 ms each, so its 30 ms
// figure is one and a half times the time shown).

#include "tests/voice/IlbcPeers.h"
#include "voice/ilbc/IlbcDecoder.h"
#include "voice/ilbc/IlbcEncoder.h"

#include <benchmark/benchmark.h>

#include <array>

namespace {

using namespace orvane::ilbc;

const std::vector<float>& signal()
{
    static const std::vector<float> s = testing::speechLike(8000 * 6, 11);
    return s;
}

const std::vector<std::vector<uint8_t>>& frames(int ms)
{
    static std::vector<std::vector<uint8_t>> cache[2];
    auto& f = cache[ms == 20 ? 0 : 1];
    if (f.empty()) {
        Encoder enc(ms);
        for (size_t pos = 0; pos + enc.samplesPerFrame() <= signal().size(); pos += enc.samplesPerFrame()) {
            f.emplace_back(enc.bytesPerFrame());
            enc.encode(signal().data() + pos, f.back().data());
        }
    }
    return f;
}

void BM_OursEncode(benchmark::State& state)
{
    const int ms = static_cast<int>(state.range(0));
    Encoder enc(ms);
    std::vector<uint8_t> out(enc.bytesPerFrame());
    const int n = enc.samplesPerFrame();
    const size_t count = signal().size() / n;
    size_t i = 0;
    for (auto _ : state) {
        enc.encode(signal().data() + (i++ % count) * n, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_OursDecode(benchmark::State& state)
{
    const int ms = static_cast<int>(state.range(0));
    const bool enhancer = state.range(1) != 0;
    Decoder dec(ms, enhancer);
    const auto& f = frames(ms);
    std::vector<float> out(dec.samplesPerFrame());
    size_t i = 0;
    for (auto _ : state) {
        dec.decode(f[i++ % f.size()].data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_LibavcodecDecode(benchmark::State& state)
{
    const int ms = static_cast<int>(state.range(0));
    testing::AvIlbcDecoder dec(ms == 20 ? 38 : 50);
    const auto& f = frames(ms);
    std::vector<float> out;
    size_t i = 0;
    for (auto _ : state) {
        out.clear();
        dec.decode(f[i++ % f.size()].data(), out);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_GsmEncode(benchmark::State& state)
{
    testing::GsmCoder gsm;
    const std::vector<int16_t> pcm = testing::toPcm(signal());
    const size_t count = pcm.size() / 160;
    uint8_t frame[33];
    size_t i = 0;
    for (auto _ : state) {
        gsm.encode(pcm.data() + (i++ % count) * 160, frame);
        benchmark::DoNotOptimize(frame);
    }
}

void BM_GsmDecode(benchmark::State& state)
{
    testing::GsmCoder gsm;
    const std::vector<int16_t> pcm = testing::toPcm(signal());
    const size_t count = pcm.size() / 160;
    std::vector<std::array<uint8_t, 33>> coded(count);
    for (size_t k = 0; k < count; ++k)
        gsm.encode(pcm.data() + k * 160, coded[k].data());
    int16_t out[160];
    size_t i = 0;
    for (auto _ : state) {
        gsm.decode(coded[i++ % count].data(), out);
        benchmark::DoNotOptimize(out);
    }
}

}  // namespace

// Each iteration is one frame: 30 ms for iLBC at range 30, 20 ms for GSM.
BENCHMARK(BM_OursEncode)->Arg(30)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDecode)->Args({30, 1})->Args({30, 0})->Args({20, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibavcodecDecode)->Arg(30)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GsmEncode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GsmDecode)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
