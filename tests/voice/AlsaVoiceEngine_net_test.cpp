#include "audio/AlsaAudioDevice.h"
#include "voice/VoiceEngine.h"

#include "tests/voice/EngineHarness.h"
#include "tests/support/PulseServer.h"
#include "tests/voice/SoundSignals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

// Hands every encoded frame straight back to the engine to be decoded and played, as a
// call with no network between would.
class Loopback : public FrameCollector {
public:
    explicit Loopback(VoiceEngine*& engine) : engine_(engine) {}
    void onEncodedFrame(int channel, const uint8_t* data, int length) override
    {
        engine_->play(channel, data, length);
        FrameCollector::onEncodedFrame(channel, data, length);
    }

private:
    VoiceEngine*& engine_;
};

// Counts the underruns and overruns of the devices it makes.
class XrunCounting : public AlsaAudioDevice {
public:
    XrunCounting(std::atomic<unsigned long>& total, unsigned startPeriods)
        : AlsaAudioDevice("pulse", startPeriods), total_(total)
    {
    }
    ~XrunCounting() override { total_ += xruns(); }

private:
    std::atomic<unsigned long>& total_;
};

std::atomic<unsigned long> inputXruns{0}, outputXruns{0};

VoiceEngine::Settings alsaPulse(Reports& reports)
{
    VoiceEngine::Settings settings;
    settings.input = [] { return std::unique_ptr<AudioDevice>(new XrunCounting(inputXruns, 1)); };
    settings.output = [] { return std::unique_ptr<AudioDevice>(new XrunCounting(outputXruns, 1)); };
    settings.report = reports.sink();
    return settings;
}

// Tone bursts of changing pitch after a silence: a sound whose place in a recording can
// be found by correlation alone.
std::vector<int16_t> bursts()
{
    std::vector<int16_t> out(2400, 0);
    const double pitches[] = {300, 520, 410, 650, 350, 480, 700, 390};
    size_t offset = 0;
    for (double hz : pitches) {
        const std::vector<int16_t> part = voiceLikeTone(1600, hz, 10000.0, 8000, offset);
        out.insert(out.end(), part.begin(), part.end());
        offset += part.size();
    }
    out.insert(out.end(), 2400, 0);
    return out;
}

// The shift of `sound` in `heard` with the best correlation, searched on every fourth
// sample first and then refined; the correlation found.
double findSound(const std::vector<int16_t>& sound, const std::vector<int16_t>& heard, size_t& shift)
{
    std::vector<int16_t> coarseSound, coarseHeard;
    for (size_t i = 0; i < sound.size(); i += 4)
        coarseSound.push_back(sound[i]);
    for (size_t i = 0; i < heard.size(); i += 4)
        coarseHeard.push_back(heard[i]);
    size_t coarse = 0;
    bestCorrelation(coarseSound, coarseHeard, coarseSound.size(), coarseHeard.size(), &coarse);
    const size_t from = coarse * 4 > 8 ? coarse * 4 - 8 : 0;
    const std::vector<int16_t> near(heard.begin() + static_cast<long>(from), heard.end());
    size_t fine = 0;
    const double best = bestCorrelation(sound, near, sound.size(), 16, &fine);
    shift = from + fine;
    return best;
}

// What a burst heard must reach: near the codec's own result.
double minCorrelation(uint8_t mode, double offline)
{
    return mode == 132 ? offline - 0.15 : 0.98;
}

double offlineCorrelation(uint8_t mode, const std::vector<int16_t>& sound, const std::vector<int16_t>& active)
{
    const auto codec = VoiceMode::parse(mode).createCodec();
    const size_t frame = static_cast<size_t>(VoiceMode::parse(mode).samplesPerFrame);
    std::vector<int16_t> decoded;
    for (size_t pos = 0; pos + frame <= sound.size(); pos += frame) {
        ByteArray coded;
        codec->encode16(sound.data() + pos, static_cast<int>(frame), coded, false);
        SampleArray out;
        codec->decode16(coded.data(), coded.count(), out, false);
        decoded.insert(decoded.end(), out.begin(), out.end());
    }
    size_t shift = 0;
    return findSound(active, decoded, shift);
}

std::vector<int16_t> samplesOf(const std::string& bytes)
{
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

} // namespace

TEST(AlsaVoiceEngine, AKnownSoundGoesInThroughTheMicrophoneAndComesOutOfTheSpeakerInTime)
{
    const std::vector<int16_t> sound = bursts();
    const std::vector<int16_t> active(sound.begin() + 2400, sound.end() - 2400);
    for (uint8_t mode : {uint8_t{132}, uint8_t{0x85}}) {
        SCOPED_TRACE(int(mode));
        // A sound server for each mode, so that the streams of one do not shape the next.
        PulseServer pulse;
        ASSERT_TRUE(pulse.start());
        // What the codec alone makes of the sound, coded offline: the real-time path may
        // cut its frames elsewhere, but must lose nothing beyond that.
        const double offline = offlineCorrelation(mode, sound, active);
        Reports reports;
        VoiceEngine* enginePointer = nullptr;
        Loopback loopback(enginePointer);
        VoiceEngine engine(alsaPulse(reports));
        enginePointer = &engine;
        engine.setMode(mode);
        engine.setListener(&loopback);
        ASSERT_EQ(engine.createChannel(), 0);
        ASSERT_TRUE(pulse.recordSpeaker());
        engine.startRecording();
        // The recorder runs before the sound starts, as a microphone is open before anyone
        // speaks; pacat returns once all of it has been played into the microphone.
        ASSERT_TRUE(loopback.waitForFrames(3));
        ASSERT_TRUE(pulse.playIntoMic(bytesOfSamples(sound)));
        // Half a second more, for the sound's tail to pass the engine and the speaker.
        const size_t framesNow = loopback.frames().size();
        const size_t frameSamples = static_cast<size_t>(engine.samplesPerFrame());
        ASSERT_TRUE(loopback.waitForFrames(framesNow + 4000 / frameSamples));
        engine.closeAll();
        const std::vector<int16_t> heard = samplesOf(pulse.stopSpeakerRecording());
        EXPECT_TRUE(reports.texts().empty()) << ::testing::PrintToString(reports.texts());

        // Where the sound lies in the recording: the best correlation over every shift.
        ASSERT_GT(heard.size(), active.size()) << "too little was heard";
        size_t shift = 0;
        const double whole = findSound(active, heard, shift);
        // A sound server under load may drop or repeat a few milliseconds now and then, and
        // the engine drops a whole frame rather than let the delay grow; either moves the
        // rest of the sound. So each burst is looked for on its own, near where the one
        // before it was found, and nearly all of them must be there.
        int found = 0;
        size_t offset = shift;
        for (size_t burst = 0; burst < 8; ++burst) {
            const size_t start = burst * 1600 + 200;
            const std::vector<int16_t> middle(active.begin() + static_cast<long>(start),
                                              active.begin() + static_cast<long>(burst * 1600 + 1400));
            const size_t expected = offset + start;
            const size_t from = expected > 400 ? expected - 400 : 0;
            if (from + middle.size() > heard.size())
                break;
            const std::vector<int16_t> near(heard.begin() + static_cast<long>(from), heard.end());
            size_t at = 0;
            const double c = bestCorrelation(middle, near, middle.size(), 800, &at);
            if (c > minCorrelation(mode, offline)) {
                ++found;
                if (from + at >= start)
                    offset = from + at - start;
            }
        }
        std::printf("mode %d: %d of 8 bursts heard, the whole at correlation %.3f (coded offline %.3f), "
                    "%zu ms after the recording began; device xruns so far: %lu in, %lu out\n",
                    mode, found, whole, offline, shift / 8, inputXruns.load(), outputXruns.load());
        EXPECT_GE(found, 7);
    }
}

TEST(AlsaVoiceEngine, SoundThreadsThatLoseTheirServerReportItAndEndTheirLoops)
{
    PulseServer pulse;
    ASSERT_TRUE(pulse.start());
    Reports reports;
    VoiceEngine* enginePointer = nullptr;
    Loopback loopback(enginePointer);
    VoiceEngine engine(alsaPulse(reports));
    enginePointer = &engine;
    engine.setMode(132);
    engine.setListener(&loopback);
    ASSERT_EQ(engine.createChannel(), 0);
    engine.startRecording();
    ASSERT_TRUE(loopback.waitForFrames(5));
    pulse.kill();
    ASSERT_TRUE(reports.waitFor("RECORD: Read : ")) << ::testing::PrintToString(reports.texts());
    // The player learns of it with the next frame it writes; frames go on arriving, as
    // from a peer, until it has.
    const std::vector<uint8_t> frame = loopback.frames().back();
    for (int i = 0; i < 200 && !reports.waitFor("PLAY : Write :", 30); ++i)
        engine.play(0, frame.data(), static_cast<int>(frame.size()));
    ASSERT_TRUE(reports.waitFor("PLAY : Write :", 0)) << ::testing::PrintToString(reports.texts());
    EXPECT_FALSE(engine.recorder().isRecording());
    EXPECT_FALSE(engine.player(0)->isOpen());
    // The thread still takes commands: a new recording finds no server and says so.
    const uint64_t reads = engine.recorder().reads();
    engine.startRecording();
    ASSERT_TRUE(reports.waitFor("RECORD: Open : "));
    EXPECT_EQ(engine.recorder().reads(), reads);
    engine.closeAll();
    pulse.stop();
    size_t readReports = 0;
    for (const auto& t : reports.texts())
        readReports += t.rfind("RECORD: Read", 0) == 0;
    EXPECT_EQ(readReports, 1u);
}

// A peer that stalls: frames come every 30 ms, then none for a while (the output runs dry),
// then the backlog all at once, then every 30 ms again. Whatever the gap and the burst,
// the output's queue comes back to its bound, and the sound after the gap is heard.
TEST(AlsaVoiceEngine, AfterAGapAndABurstTheOutputQueueReturnsToItsBound)
{
    PulseServer pulse;
    ASSERT_TRUE(pulse.start());
    Reports reports;
    VoiceEngine engine(alsaPulse(reports));
    engine.setMode(132);
    ASSERT_EQ(engine.createChannel(), 0);
    SoundPlayer& player = *engine.player(0);
    // A steady tone, coded as a peer would send it.
    const size_t frameSamples = static_cast<size_t>(engine.samplesPerFrame());
    const std::vector<int16_t> tone = voiceLikeTone(frameSamples * 200, 440.0, 8000.0, 8000, 0);
    const auto codec = VoiceMode::parse(132).createCodec();
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; at + frameSamples <= tone.size(); at += frameSamples) {
        ByteArray coded;
        codec->encode16(tone.data() + at, static_cast<int>(frameSamples), coded, false);
        frames.emplace_back(coded.data(), coded.data() + coded.count());
    }
    size_t next = 0;
    auto send = [&](int count, int pauseMs) {
        for (int i = 0; i < count; ++i, ++next) {
            const std::vector<uint8_t>& frame = frames[next % frames.size()];
            engine.play(0, frame.data(), static_cast<int>(frame.size()));
            if (pauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
    };
    ASSERT_TRUE(pulse.recordSpeaker());
    const struct {
        int gapMs;
        int burst;
    } stalls[] = {{300, 10}, {3000, 12}};
    send(30, 30);
    for (const auto& stall : stalls) {
        SCOPED_TRACE(stall.gapMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(stall.gapMs));
        const uint64_t trimmed = player.trimmedFrames();
        send(stall.burst, 0);
        send(40, 30);
        std::printf("gap %d ms, burst %d: queued %d ms before the last frame, %llu frames trimmed\n", stall.gapMs,
                    stall.burst, player.queuedMillis(), static_cast<unsigned long long>(player.trimmedFrames() - trimmed));
        EXPECT_GE(player.queuedMillis(), 0);
        EXPECT_LE(player.queuedMillis(), VoiceEngine::OutputMaxQueuedMillis + 30);
        EXPECT_GT(player.trimmedFrames(), trimmed) << "the burst was not trimmed";
    }
    const std::vector<int16_t> heard = samplesOf(pulse.stopSpeakerRecording());
    engine.closeAll();
    // Sound came out after the long gap too: the last second of the recording is not silent.
    ASSERT_GT(heard.size(), 8000u);
    EXPECT_GT(rms(heard.data() + heard.size() - 8000, 8000), 1000);
    EXPECT_TRUE(reports.texts().empty()) << ::testing::PrintToString(reports.texts());
}
