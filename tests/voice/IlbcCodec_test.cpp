// Round trips through our encoder, checked against libavcodec's iLBC decoder and GSM 06.10.

#include "tests/voice/IlbcPeers.h"
#include "voice/ilbc/IlbcDecoder.h"
#include "voice/ilbc/IlbcEncoder.h"

#include <gtest/gtest.h>

namespace orvane::ilbc {
namespace {

using testing::AvIlbcDecoder;
using testing::GsmCoder;

struct Coded {
    std::vector<std::vector<uint8_t>> frames;
};

Coded encodeAll(int frameMs, const std::vector<float>& signal)
{
    Encoder enc(frameMs);
    Coded c;
    const int n = enc.samplesPerFrame();
    for (size_t pos = 0; pos + n <= signal.size(); pos += n) {
        std::vector<uint8_t> frame(enc.bytesPerFrame());
        enc.encode(signal.data() + pos, frame.data());
        c.frames.push_back(std::move(frame));
    }
    return c;
}

std::vector<float> decodeOurs(int frameMs, bool enhancer, const Coded& c)
{
    Decoder dec(frameMs, enhancer);
    std::vector<float> out;
    std::vector<float> block(dec.samplesPerFrame());
    for (const auto& f : c.frames) {
        dec.decode(f.data(), block.data());
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::vector<float> decodeAv(int frameMs, const Coded& c)
{
    AvIlbcDecoder dec(frameMs == 20 ? 38 : 50);
    std::vector<float> out;
    for (const auto& f : c.frames)
        dec.decode(f.data(), out);
    return out;
}

std::vector<float> gsmRoundTrip(const std::vector<float>& signal)
{
    GsmCoder gsm;
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

TEST(IlbcCodec, DiagnosticFigures)
{
    const std::vector<float> speech = testing::speechLike(8000 * 6, 7);
    for (int ms : {20, 30}) {
        const Coded c = encodeAll(ms, speech);
        const auto plain = decodeOurs(ms, false, c);
        const auto enh = decodeOurs(ms, true, c);
        const auto av = decodeAv(ms, c);
        const int d = ms == 20 ? 40 : 80;
        printf("%d ms: segSNR plain %.2f enh %.2f av %.2f | av~plain %.2f av~enh %.2f\n", ms,
               testing::segmentalSnr(speech, plain, 0), testing::segmentalSnr(speech, enh, d),
               testing::segmentalSnr(speech, av, 0), testing::snr(av, plain),
               testing::snr(av, std::vector<float>(enh.begin(), enh.end())));
        for (int dd : {0, 40, 80})
            printf("  av delay %d: %.2f\n", dd, testing::segmentalSnr(speech, av, dd));
    }
    printf("gsm %.2f\n", testing::segmentalSnr(speech, gsmRoundTrip(speech), 0));
}

}  // namespace
}  // namespace orvane::ilbc
