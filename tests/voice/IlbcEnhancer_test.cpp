// The enhancer: pitch-synchronous smoothing that may change each 80-sample block by at
// most 5 % of its energy.

#include "tests/voice/IlbcPeers.h"
#include "voice/ilbc/IlbcEnhancer.h"

#include <gtest/gtest.h>

namespace orvane::ilbc {
namespace {

// Runs frames of excitation through the enhancer; the output aligned with the input.
std::vector<float> enhance(const Mode& mode, const std::vector<float>& in)
{
    Enhancer enh;
    enh.reset();
    std::vector<float> out;
    std::vector<float> block(mode.blockLength);
    for (size_t pos = 0; pos + mode.blockLength <= in.size(); pos += mode.blockLength) {
        enh.process(mode, in.data() + pos, block.data());
        out.insert(out.end(), block.begin(), block.end());
    }
    const int delay = Enhancer::delay(mode);
    out.erase(out.begin(), out.begin() + delay);
    return out;
}

TEST(IlbcEnhancer, NoBlockChangesByMoreThanFivePercentOfItsEnergy)
{
    testing::Random rnd(5);
    for (int ms : {20, 30}) {
        const Mode mode = Mode::of(ms);
        // Noise, then a pulse train whose pulses wander, so that the smoothing has work.
        std::vector<float> in(mode.blockLength * 40);
        for (size_t i = 0; i < in.size(); ++i)
            in[i] = 1000.0f * (rnd.next() - 0.5f) + ((i % 53) == 0 && i > in.size() / 2 ? 8000.0f : 0.0f);
        const std::vector<float> out = enhance(mode, in);
        // The enhanced blocks begin where the delay puts them (40 samples into a 20 ms frame).
        const size_t offset = static_cast<size_t>(kEnhBlock - Enhancer::delay(mode)) % kEnhBlock;
        for (size_t b = 8; offset + (b + 1) * kEnhBlock <= out.size(); ++b) {
            double energy = 0.0, change = 0.0;
            for (size_t i = offset + b * kEnhBlock; i < offset + (b + 1) * kEnhBlock; ++i) {
                energy += static_cast<double>(in[i]) * in[i];
                change += static_cast<double>(out[i] - in[i]) * (out[i] - in[i]);
            }
            EXPECT_LE(change, 0.05 * energy * 1.001 + 1e-3) << ms << " ms, block " << b;
        }
    }
}

TEST(IlbcEnhancer, PeriodicExcitationComesCloserToItsPeriod)
{
    // A pulse train with period 61 and noise on top: the smoothed excitation is nearer to
    // the clean train than the noisy input was.
    testing::Random rnd(8);
    const Mode mode = Mode::of(30);
    std::vector<float> clean(mode.blockLength * 30), noisy(clean.size());
    for (size_t i = 0; i < clean.size(); ++i) {
        const int phase = static_cast<int>(i % 61);
        clean[i] = phase == 0 ? 6000.0f : (phase == 1 ? -3000.0f : 0.0f);
        noisy[i] = clean[i] + 600.0f * (rnd.next() - 0.5f);
    }
    const std::vector<float> out = enhance(mode, noisy);
    const size_t from = 10 * mode.blockLength;
    const std::vector<float> ref(clean.begin() + from, clean.begin() + out.size());
    const double before = testing::snr(ref, std::vector<float>(noisy.begin() + from, noisy.begin() + out.size()));
    const double after = testing::snr(ref, std::vector<float>(out.begin() + from, out.end()));
    std::printf("enhancer: %.1f dB before, %.1f dB after\n", before, after);
    EXPECT_GT(after, before + 1.0) << "before " << before << " dB, after " << after << " dB";
}

}  // namespace
}  // namespace orvane::ilbc
