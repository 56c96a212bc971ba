// The decoder's behaviour on lost, invalid and arbitrary frames, and the codec's reset.

#include "tests/voice/IlbcPeers.h"
#include "voice/ilbc/IlbcBitstream.h"
#include "voice/ilbc/IlbcDecoder.h"
#include "voice/ilbc/IlbcEncoder.h"

#include <gtest/gtest.h>

namespace orvane::ilbc {
namespace {

double rms(const std::vector<float>& x)
{
    double s = 0.0;
    for (float v : x)
        s += static_cast<double>(v) * v;
    return std::sqrt(s / x.size());
}

bool allFinite(const std::vector<float>& x)
{
    return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v) && std::fabs(v) <= 32768.0f; });
}

// Frames of a loud voiced stretch, the decoder's history in the tests below.
std::vector<std::vector<uint8_t>> voicedFrames(int ms, int count)
{
    const std::vector<float> signal = testing::speechLike(8000 * 2, 3);
    Encoder enc(ms);
    std::vector<std::vector<uint8_t>> frames;
    // Start where the made signal is loud.
    size_t pos = 0;
    while (pos < signal.size() && std::fabs(signal[pos]) < 1000.0f)
        ++pos;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> f(enc.bytesPerFrame());
        enc.encode(signal.data() + pos + i * enc.samplesPerFrame(), f.data());
        frames.push_back(f);
    }
    return frames;
}

TEST(IlbcDecoder, LostFramesCarryTheVoiceOnAndFadeToSilence)
{
    for (int ms : {20, 30}) {
        for (bool enhancer : {false, true}) {
            SCOPED_TRACE(::testing::Message() << ms << " ms, enhancer " << enhancer);
            Decoder dec(ms, enhancer);
            std::vector<float> block(dec.samplesPerFrame());
            for (const auto& f : voicedFrames(ms, 6))
                dec.decode(f.data(), block.data());
            const double before = rms(block);
            ASSERT_GT(before, 100.0);
            std::vector<double> levels;
            for (int i = 0; i < 300 / ms; ++i) {
                dec.decodeLost(block.data());
                ASSERT_TRUE(allFinite(block));
                levels.push_back(rms(block));
            }
            EXPECT_GT(levels.front(), 0.2 * before);
            EXPECT_LT(levels.front(), 3.0 * before);
            for (size_t i = 1; i < levels.size(); ++i)
                EXPECT_LE(levels[i], levels[i - 1] * 1.5 + 1.0);
            EXPECT_LT(levels.back(), 1.0);
        }
    }
}

TEST(IlbcDecoder, FramesItCannotUseAreConcealedLikeLostOnes)
{
    for (int ms : {20, 30}) {
        const Mode mode = Mode::of(ms);
        std::vector<std::vector<uint8_t>> invalid;
        invalid.emplace_back(mode.bytes, 0xFF);  // the empty-frame bit is set
        FrameIndices f;
        f.start = 0;                             // no such state position
        invalid.emplace_back(mode.bytes);
        packFrame(mode, f, invalid.back().data());
        f.start = mode.subBlocks;                // past the last position (3 bits in 30 ms)
        if (ms == 30) {
            invalid.emplace_back(mode.bytes);
            packFrame(mode, f, invalid.back().data());
        }
        f.start = 1;
        f.cb[0][2] = 126;                        // the 23-sample target has 126 vectors
        if (ms == 20) {
            invalid.emplace_back(mode.bytes);
            packFrame(mode, f, invalid.back().data());
        }
        for (size_t k = 0; k < invalid.size(); ++k) {
            SCOPED_TRACE(::testing::Message() << ms << " ms, invalid frame " << k);
            Decoder a(ms, true), b(ms, true);
            std::vector<float> outA(a.samplesPerFrame()), outB(b.samplesPerFrame());
            for (const auto& frame : voicedFrames(ms, 4)) {
                a.decode(frame.data(), outA.data());
                b.decode(frame.data(), outB.data());
            }
            for (int i = 0; i < 3; ++i) {
                a.decode(invalid[k].data(), outA.data());
                b.decodeLost(outB.data());
                EXPECT_EQ(outA, outB);
            }
        }
    }
}

TEST(IlbcDecoder, ArbitraryBytesDecodeToBoundedSamples)
{
    testing::Random rnd(99);
    for (int ms : {20, 30}) {
        for (bool enhancer : {false, true}) {
            Decoder dec(ms, enhancer);
            std::vector<uint8_t> frame(dec.bytesPerFrame());
            std::vector<float> out(dec.samplesPerFrame());
            for (int i = 0; i < 300; ++i) {
                for (auto& b : frame)
                    b = static_cast<uint8_t>(rnd.next() * 256.0f);
                frame.back() &= 0xFE;  // mostly frames the decoder takes
                if (i % 7 == 0)
                    std::fill(frame.begin(), frame.end(), i % 2 ? 0x00 : 0xFF);
                dec.decode(frame.data(), out.data());
                ASSERT_TRUE(allFinite(out)) << ms << " ms, frame " << i;
            }
        }
    }
}

TEST(IlbcDecoder, InitStartsBothSidesAfreshInTheNamedMode)
{
    const std::vector<float> signal = testing::speechLike(8000, 5);
    Encoder enc(20);
    enc.init(30);
    EXPECT_EQ(30, enc.frameMs());
    EXPECT_EQ(240, enc.samplesPerFrame());
    EXPECT_EQ(50, enc.bytesPerFrame());
    Decoder dec(30, true);
    dec.init(20, false);
    EXPECT_EQ(20, dec.frameMs());
    EXPECT_EQ(160, dec.samplesPerFrame());
    EXPECT_EQ(38, dec.bytesPerFrame());
    EXPECT_EQ(30, Encoder(25).frameMs());
    EXPECT_EQ(30, Decoder(0).frameMs());

    auto run = [&](Encoder& e, Decoder& d) {
        std::vector<uint8_t> bytes;
        std::vector<float> out;
        std::vector<uint8_t> frame(e.bytesPerFrame());
        std::vector<float> block(d.samplesPerFrame());
        for (size_t pos = 0; pos + e.samplesPerFrame() <= signal.size(); pos += e.samplesPerFrame()) {
            e.encode(signal.data() + pos, frame.data());
            d.decode(frame.data(), block.data());
            bytes.insert(bytes.end(), frame.begin(), frame.end());
            out.insert(out.end(), block.begin(), block.end());
        }
        return std::make_pair(bytes, out);
    };
    for (int ms : {20, 30}) {
        Encoder e(ms);
        Decoder d(ms, true);
        const auto first = run(e, d);
        e.init(ms);
        d.init(ms, true);
        EXPECT_EQ(first, run(e, d));
    }
}

}  // namespace
}  // namespace orvane::ilbc
