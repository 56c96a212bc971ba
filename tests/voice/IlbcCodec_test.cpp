// Round trips through our encoder: libavcodec's iLBC decoder must hear the same as ours,
// and speech must come back at least as well as through GSM 06.10 (libgsm) in this run.

#include "tests/voice/IlbcPeers.h"
#include "voice/ilbc/IlbcDecoder.h"
#include "voice/ilbc/IlbcEncoder.h"
#include "voice/ilbc/IlbcLpc.h"

#include <gtest/gtest.h>

namespace orvane::ilbc {
namespace {

using Frames = std::vector<std::vector<uint8_t>>;

Frames encodeAll(int frameMs, const std::vector<float>& signal)
{
    Encoder enc(frameMs);
    Frames frames;
    const int n = enc.samplesPerFrame();
    for (size_t pos = 0; pos + n <= signal.size(); pos += n) {
        std::vector<uint8_t> frame(enc.bytesPerFrame());
        enc.encode(signal.data() + pos, frame.data());
        frames.push_back(std::move(frame));
    }
    return frames;
}

std::vector<float> decodeOurs(int frameMs, bool enhancer, const Frames& frames)
{
    Decoder dec(frameMs, enhancer);
    std::vector<float> out;
    std::vector<float> block(dec.samplesPerFrame());
    for (const auto& f : frames) {
        dec.decode(f.data(), block.data());
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::vector<float> decodeAv(int frameMs, const Frames& frames)
{
    testing::AvIlbcDecoder dec(frameMs == 20 ? 38 : 50);
    std::vector<float> out;
    for (const auto& f : frames)
        dec.decode(f.data(), out);
    return out;
}

std::vector<float> gsmRoundTrip(const std::vector<float>& signal)
{
    testing::GsmCoder gsm;
    const std::vector<int16_t> pcm = testing::toPcm(signal);
    std::vector<float> out;
    uint8_t frame[33];
    int16_t block[160];
    for (size_t pos = 0; pos + 160 <= pcm.size(); pos += 160) {
        gsm.encode(pcm.data() + pos, frame);
        gsm.decode(frame, block);
        out.insert(out.end(), block, block + 160);
    }
    return out;
}

// The iLBC decoder ends in a 65 Hz high-pass filter (libavcodec's too), whose phase turn
// at the voice's lowest harmonics would count as coding noise. Both codecs are therefore
// measured against the input through that filter, GSM's output through it as well.
std::vector<float> postFiltered(const std::vector<float>& x)
{
    std::vector<float> y(x.size());
    float mem[4] = {};
    biquad(x.data(), static_cast<int>(x.size()), kHpOutZero, kHpOutPole, mem, y.data());
    return y;
}

std::vector<float> phrase()
{
    static const std::vector<float> spoken = testing::spokenPhrase(
        "The quick brown fox jumps over the lazy dog. Voice calls travel as small frames of coded speech.");
    return spoken;
}

struct Signal {
    const char* name;
    std::vector<float> (*make)();
};

const Signal kSignals[] = {
    {"spoken phrase", phrase},
    {"synthetic syllables", [] { return testing::speechLike(8000 * 5, 7); }},
    {"chirp", [] { return testing::chirp(8000 * 3, 200.0f, 3000.0f, 8000.0f); }},
    {"two tones", [] {
         auto a = testing::tone(8000 * 2, 440.0f, 5000.0f);
         const auto b = testing::tone(8000 * 2, 1250.0f, 3000.0f);
         for (size_t i = 0; i < a.size(); ++i)
             a[i] += b[i];
         return a;
     }},
};

TEST(IlbcCodec, OurFramesDecodeAlikeInLibavcodecAndInOurDecoder)
{
    // libavcodec answers a fresh decoder's first frame with a full-scale burst, whatever the
    // frame; the comparison starts after three frames.
    for (const Signal& signal : {kSignals[0], kSignals[1]}) {
        for (int ms : {20, 30}) {
            SCOPED_TRACE(::testing::Message() << signal.name << ", " << ms << " ms");
            const std::vector<float> input = signal.make();
            const Frames frames = encodeAll(ms, input);
            const std::vector<float> ours = decodeOurs(ms, false, frames);
            const std::vector<float> av = decodeAv(ms, frames);
            ASSERT_EQ(av.size(), ours.size());
            const size_t skip = 3 * Mode::of(ms).blockLength;
            const double agreement = testing::snr(std::vector<float>(av.begin() + skip, av.end()),
                                                  std::vector<float>(ours.begin() + skip, ours.end()));
            RecordProperty(std::string("agreement_db_") + std::to_string(ms), std::to_string(agreement));
            std::printf("%s, %d ms: our decoder against libavcodec's: %.1f dB\n", signal.name, ms, agreement);
            EXPECT_GT(agreement, 30.0);
        }
    }
}

TEST(IlbcCodec, SignalsComeBackAtLeastAsWellAsThroughGsm)
{
    for (const Signal& signal : kSignals) {
        const std::vector<float> input = signal.make();
        const std::vector<float> reference = postFiltered(input);
        const double gsm = testing::segmentalSnr(reference, postFiltered(gsmRoundTrip(input)), 0);
        for (int ms : {20, 30}) {
            SCOPED_TRACE(::testing::Message() << signal.name << ", " << ms << " ms");
            const Frames frames = encodeAll(ms, input);
            const double plain = testing::segmentalSnr(reference, decodeOurs(ms, false, frames), 0);
            // The enhancer's look-ahead delays the output by 40 or 80 samples.
            const double enhanced =
                testing::segmentalSnr(reference, decodeOurs(ms, true, frames), Enhancer::delay(Mode::of(ms)));
            std::printf("%s, %d ms: segmental SNR %.2f dB (enhancer %.2f dB), GSM %.2f dB\n", signal.name, ms,
                        plain, enhanced, gsm);
            EXPECT_GE(plain, gsm);
            EXPECT_GE(enhanced, gsm);
        }
    }
}

}  // namespace
}  // namespace orvane::ilbc
