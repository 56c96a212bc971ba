#include "voice/VoiceEngine.h"

#include "audio/WavFile.h"
#include "tests/audio/WavBytes.h"
#include "tests/foundation/TempDirectory.h"
#include "tests/voice/EngineHarness.h"
#include "tests/voice/SoundSignals.h"
#include "voice/VoiceLevels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::vector<int16_t> samplesOf(const std::string& bytes)
{
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

// Plays every frame on channel 0, never more than the player's buffers ahead of its
// device, then ends the engine so that the output file is complete.
void playAll(VoiceEngine& engine, const std::vector<std::vector<uint8_t>>& frames, SoundEvents& played)
{
    int queued = 0;
    for (const auto& frame : frames) {
        if (queued - played.get(&SoundEvents::data_) >= SoundBase::BufferCount - 1) {
            ASSERT_TRUE(played.waitFor(&SoundEvents::data_, queued - SoundBase::BufferCount + 2));
        }
        engine.play(0, frame.data(), static_cast<int>(frame.size()));
        ++queued;
    }
    ASSERT_TRUE(played.waitFor(&SoundEvents::data_, queued));
    engine.closeAll();
}

struct EngineRun {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int16_t> played; // 16-bit modes
    std::string playedBytes;     // as written
    std::vector<std::string> reports;
    int inputLevel = 0;
};

// Records `input` (a WAV file's samples at 8000 Hz in the mode's width) through the engine,
// then plays every frame it made and returns what reached the output file.
EngineRun recordAndPlay(uint8_t mode, const std::string& samples, int bits, size_t expectedFrames)
{
    TempDirectory dir;
    writeBytes(dir / "in.wav", wavFile(1, 8000, static_cast<uint32_t>(bits), samples));
    Reports reports;
    VoiceEngine::Settings settings;
    settings.input = fileDevice(dir / "in.wav");
    settings.output = fileDevice(dir / "out.wav");
    settings.report = reports.sink();
    EngineRun run;
    {
        VoiceEngine engine(settings);
        FrameCollector collector;
        engine.setMode(mode);
        engine.setListener(&collector);
        EXPECT_EQ(engine.createChannel(), 0);
        SoundEvents played;
        engine.player(0)->setListener(&played);
        engine.startRecording();
        EXPECT_TRUE(collector.waitForFrames(expectedFrames));
        engine.stopRecording();
        run.inputLevel = engine.inputLevel();
        run.frames = collector.frames();
        playAll(engine, run.frames, played);
    }
    WavSound out;
    EXPECT_EQ(loadWavFile((dir / "out.wav").c_str(), out), WavError::None);
    run.playedBytes.assign(out.samples.begin(), out.samples.end());
    if (bits == 16)
        run.played = samplesOf(run.playedBytes);
    run.reports = reports.texts();
    return run;
}

} // namespace

TEST(VoiceEngine, RawSixteenBitSoundPassesUnchangedFromFileToFile)
{
    const std::vector<int16_t> tone = voiceLikeTone(5 * 1000);
    const EngineRun run = recordAndPlay(0x80, bytesOfSamples(tone), 16, 5);
    ASSERT_EQ(run.frames.size(), 5u);
    for (const auto& frame : run.frames)
        EXPECT_EQ(frame.size(), 2000u);
    EXPECT_EQ(run.played, tone);
    EXPECT_TRUE(run.reports.empty());
}

TEST(VoiceEngine, EveryCodecModeCodesRecordedSoundIntoItsFramesAndPlaysThemBack)
{
    struct Case {
        const char* name;
        uint8_t mode;
        int frameSamples;
        int frameBytes; // 0: varies
        double minCorrelation;
    };
    const Case cases[] = {
        {"mu-law", 0x85, 800, 800, 0.99},
        {"GSM", 0x82, 160, 33, 0.9},
        {"delta", 0x81, 800, 0, 0.99},
        {"iLBC 30 ms", 132, 240, 50, 0.8},
        {"iLBC 20 ms", 131, 160, 38, 0.8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t frames = 12;
        const std::vector<int16_t> tone = voiceLikeTone(frames * static_cast<size_t>(c.frameSamples));
        const EngineRun run = recordAndPlay(c.mode, bytesOfSamples(tone), 16, frames);
        ASSERT_EQ(run.frames.size(), frames);
        if (c.frameBytes) {
            for (const auto& frame : run.frames)
                EXPECT_EQ(frame.size(), static_cast<size_t>(c.frameBytes));
        }
        ASSERT_EQ(run.played.size(), tone.size());
        // Compared where the coders have settled, allowing for a decoder's delay.
        const size_t settled = tone.size() / 4;
        const std::vector<int16_t> in(tone.begin() + settled, tone.end());
        const std::vector<int16_t> out(run.played.begin() + settled, run.played.end());
        EXPECT_GT(bestCorrelation(in, out, in.size() - 100, 100), c.minCorrelation);
        EXPECT_EQ(run.inputLevel, level16(tone.data() + tone.size() - c.frameSamples, c.frameSamples));
        EXPECT_TRUE(run.reports.empty());
    }
}

TEST(VoiceEngine, Lpc10FramesAreSevenBytesAndPlayAtTheToneLoudness)
{
    const std::vector<int16_t> tone = voiceLikeTone(20 * 180, 150.0, 12000.0);
    const EngineRun run = recordAndPlay(0x86, bytesOfSamples(tone), 16, 20);
    ASSERT_EQ(run.frames.size(), 20u);
    for (const auto& frame : run.frames)
        EXPECT_EQ(frame.size(), 7u);
    ASSERT_EQ(run.played.size(), tone.size());
    const double in = rms(tone.data() + 900, tone.size() - 900);
    const double out = rms(run.played.data() + 900, run.played.size() - 900);
    EXPECT_GT(out, in / 10);
    EXPECT_LT(out, in * 10);
}

TEST(VoiceEngine, EightBitModesRecordAndPlayUnsignedSamples)
{
    // Raw 8-bit PCM is passed through; the delta coder is lossless on 8-bit sound.
    std::string ramp;
    for (int i = 0; i < 3 * 1000; ++i)
        ramp += static_cast<char>(128 + static_cast<int>(100 * std::sin(i / 9.0)));
    for (uint8_t mode : {uint8_t{0}, uint8_t{1}}) {
        SCOPED_TRACE(int(mode));
        // The delta coder takes the short last buffer of the file as it comes.
        const size_t frame = mode == 0 ? 1000 : 800;
        const size_t frames = (ramp.size() + frame - 1) / frame;
        const size_t last = ramp.size() - (frames - 1) * frame;
        const EngineRun run = recordAndPlay(mode, ramp, 8, frames);
        ASSERT_EQ(run.frames.size(), frames);
        EXPECT_EQ(run.playedBytes, ramp);
        EXPECT_EQ(run.inputLevel,
                  level8(reinterpret_cast<const uint8_t*>(ramp.data()) + ramp.size() - last, static_cast<int>(last)));
    }
}

TEST(VoiceEngine, FramesOfTheWrongSizeAreDroppedBeforeTheyReachThePlayer)
{
    TempDirectory dir;
    Reports reports;
    VoiceEngine::Settings settings;
    settings.input = fileDevice(dir / "none.wav");
    settings.output = fileDevice(dir / "out.wav");
    settings.report = reports.sink();
    VoiceEngine engine(settings);
    engine.setMode(0x82);
    ASSERT_EQ(engine.createChannel(), 0);
    SoundEvents played;
    engine.player(0)->setListener(&played);
    for (int size : {1, 32, 34, 320}) {
        std::unique_ptr<uint8_t[]> frame(new uint8_t[static_cast<size_t>(size)]);
        std::memset(frame.get(), 0xD5, static_cast<size_t>(size));
        engine.play(0, frame.get(), size);
    }
    // A bad magic nibble plays one frame of silence; a good one after it is heard too.
    uint8_t bad[33] = {0x10};
    engine.play(0, bad, 33);
    ASSERT_TRUE(played.waitFor(&SoundEvents::data_, 1));
    EXPECT_EQ(engine.channelLevel(0), 0);
    engine.closeAll();
    EXPECT_EQ(played.get(&SoundEvents::data_), 1);
    WavSound out;
    ASSERT_EQ(loadWavFile((dir / "out.wav").c_str(), out), WavError::None);
    EXPECT_EQ(out.samples, std::vector<uint8_t>(320, 0));
}

TEST(VoiceEngine, SixChannelsAtMostAndNoneAfterCloseAll)
{
    TempDirectory dir;
    Reports reports;
    VoiceEngine::Settings settings;
    settings.input = fileDevice(dir / "none.wav");
    // Each player thread makes its own device.
    std::atomic<int> made{0};
    settings.output = [&] { return fileDevice(dir / ("out" + std::to_string(made++) + ".wav"))(); };
    settings.report = reports.sink();
    VoiceEngine engine(settings);
    engine.setMode(VoiceMode::Default);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(engine.createChannel(), i);
    EXPECT_EQ(engine.createChannel(), -1);
    EXPECT_EQ(engine.channelCount(), 6);
    EXPECT_EQ(engine.channelLevel(5), 0);
    EXPECT_EQ(engine.channelLevel(6), -1);
    EXPECT_EQ(engine.channelLevel(-1), -1);
    engine.closeAll();
    EXPECT_EQ(engine.channelCount(), 0);
    EXPECT_EQ(engine.channelLevel(0), -1);
    engine.play(0, nullptr, 0);
    EXPECT_TRUE(reports.texts().empty());
}

TEST(VoiceEngine, ModeSevenDropsTheCodecAndKeepsTheFrameSize)
{
    TempDirectory dir;
    VoiceEngine::Settings settings;
    settings.input = fileDevice(dir / "none.wav");
    settings.output = fileDevice(dir / "out.wav");
    VoiceEngine engine(settings);
    engine.setMode(0x82);
    EXPECT_EQ(engine.samplesPerFrame(), 160);
    engine.setMode(0xC7);
    EXPECT_EQ(engine.samplesPerFrame(), 160);
    EXPECT_EQ(engine.sampleRate(), 22050);
    EXPECT_EQ(engine.bitsPerSample(), 16);
    engine.closeAll();
}

TEST(VoiceEngine, ADeviceThatCannotBeOpenedIsReportedAndTheEngineGoesOn)
{
    TempDirectory dir;
    writeBytes(dir / "in.wav", wavFile(1, 8000, 16, bytesOfSamples(voiceLikeTone(800))));
    Reports reports;
    VoiceEngine::Settings settings;
    int opened = 0;
    // The first capture device is a missing file, the second the tone.
    settings.input = [&] { return fileDevice(dir / (opened++ == 0 ? "missing.wav" : "in.wav"))(); };
    settings.output = fileDevice(dir / "no-such-folder/out.wav");
    settings.report = reports.sink();
    VoiceEngine engine(settings);
    FrameCollector collector;
    engine.setListener(&collector);
    engine.setMode(0x85);
    ASSERT_EQ(engine.createChannel(), 0);
    engine.startRecording();
    engine.startRecording();
    ASSERT_TRUE(collector.waitForFrames(1));
    engine.closeAll();
    const auto texts = reports.texts();
    ASSERT_EQ(texts.size(), 2u);
    // Which thread reports first is not fixed.
    const bool playFirst = texts[0].rfind("PLAY", 0) == 0;
    EXPECT_EQ(texts[playFirst ? 1 : 0].rfind("RECORD: Open : ", 0), 0u) << texts[0];
    EXPECT_EQ(texts[playFirst ? 0 : 1].rfind("PLAY : PlayStart :", 0), 0u) << texts[1];
}

namespace {

// A real file device that fails every read after the first `good` ones, as a device does
// when it is unplugged, and counts the reads that came after its failure.
class FailingInput : public FileAudioDevice {
public:
    FailingInput(const std::string& path, int good, std::atomic<int>& readsAfterFailure)
        : FileAudioDevice(settingsFor(path)), good_(good), after_(readsAfterFailure)
    {
    }
    long read(uint8_t* data, size_t frames) override
    {
        if (failed_) {
            after_.fetch_add(1);
            return -1;
        }
        if (good_-- > 0)
            return FileAudioDevice::read(data, frames);
        failed_ = true;
        setError("the device went away", 19);
        return -1;
    }

private:
    static Settings settingsFor(const std::string& path)
    {
        Settings s;
        s.path = path.c_str();
        return s;
    }
    int good_;
    bool failed_ = false;
    std::atomic<int>& after_;
};

} // namespace

TEST(VoiceEngine, ARecorderThatLosesItsDeviceReportsItOnceAndStopsAskingIt)
{
    TempDirectory dir;
    writeBytes(dir / "in.wav", wavFile(1, 8000, 16, bytesOfSamples(voiceLikeTone(20 * 160))));
    Reports reports;
    std::atomic<int> readsAfterFailure{0};
    int made = 0;
    VoiceEngine::Settings settings;
    settings.input = [&]() -> std::unique_ptr<AudioDevice> {
        if (made++ == 0)
            return std::make_unique<FailingInput>(dir / "in.wav", 3, readsAfterFailure);
        return fileDevice(dir / "in.wav")();
    };
    settings.output = fileDevice(dir / "out.wav");
    settings.report = reports.sink();
    VoiceEngine engine(settings);
    FrameCollector collector;
    engine.setListener(&collector);
    engine.setMode(0x82);
    ASSERT_EQ(engine.createChannel(), 0);
    engine.startRecording();
    ASSERT_TRUE(collector.waitForFrames(3)) << ::testing::PrintToString(reports.texts());
    // A start while the recording still runs is ignored, so the next one waits for the
    // failure's report; it is then posted behind whatever the failure left on the queue: if
    // the thread were still asking the dead device, those reads would come first.
    ASSERT_TRUE(reports.waitFor("RECORD: Read"));
    engine.startRecording();
    ASSERT_TRUE(collector.waitForFrames(3 + 20));
    engine.closeAll();
    EXPECT_EQ(readsAfterFailure.load(), 0);
    const auto texts = reports.texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "RECORD: Read : 13 : the device went away");
    EXPECT_EQ(collector.frames().size(), 23u);
}

TEST(VoiceEngine, SoundOfOneCallNeverReachesTheNext)
{
    TempDirectory dir;
    // The first call records a long tone at the pace of a device, the second silence.
    writeBytes(dir / "tone.wav", wavFile(1, 8000, 16, bytesOfSamples(voiceLikeTone(8000 * 5))));
    writeBytes(dir / "silence.wav", wavFile(1, 8000, 16, std::string(2 * 8000, '\0')));
    int made = 0;
    VoiceEngine::Settings settings;
    settings.input = [&] { return fileDevice(dir / (made++ == 0 ? "tone.wav" : "silence.wav"), true)(); };
    settings.output = fileDevice(dir / "out.wav");
    Reports reports;
    settings.report = reports.sink();
    VoiceEngine engine(settings);
    FrameCollector collector;
    engine.setListener(&collector);
    engine.setMode(0x80 | 5); // mu-law: silence is all 0xFF
    ASSERT_EQ(engine.createChannel(), 0);
    engine.startRecording();
    ASSERT_TRUE(collector.waitForFrames(2));
    engine.stopRecording();
    engine.startRecording();
    const size_t before = collector.frames().size();
    ASSERT_TRUE(collector.waitForFrames(before + 3));
    engine.closeAll();
    bool secondCall = false;
    for (const auto& frame : collector.frames()) {
        const bool silent = std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0xFF; });
        if (silent)
            secondCall = true;
        else
            EXPECT_FALSE(secondCall) << "a frame of the first call after the second began";
    }
    EXPECT_TRUE(secondCall);
    EXPECT_TRUE(reports.texts().empty());
}

namespace {

// A real file device that counts its reads and lets the test wait for a count.
class CountingInput : public FileAudioDevice {
public:
    CountingInput(const std::string& path, std::atomic<int>& reads, std::condition_variable& changed,
                  std::mutex& lock)
        : FileAudioDevice(settingsFor(path)), reads_(reads), changed_(changed), lock_(lock)
    {
    }
    long read(uint8_t* data, size_t frames) override
    {
        const long n = FileAudioDevice::read(data, frames);
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++reads_;
        }
        changed_.notify_all();
        return n;
    }

private:
    static Settings settingsFor(const std::string& path)
    {
        Settings s;
        s.path = path.c_str();
        return s;
    }
    std::atomic<int>& reads_;
    std::condition_variable& changed_;
    std::mutex& lock_;
};

} // namespace

TEST(VoiceEngine, ADeviceThatGivesEmptyBuffersRunsOutOfBuffersAndIsNoLongerAsked)
{
    TempDirectory dir;
    writeBytes(dir / "empty.wav", wavFile(1, 8000, 16, ""));
    std::atomic<int> reads{0};
    std::condition_variable changed;
    std::mutex lock;
    VoiceEngine::Settings settings;
    settings.input = [&] { return std::make_unique<CountingInput>(dir / "empty.wav", reads, changed, lock); };
    settings.output = fileDevice(dir / "out.wav");
    Reports reports;
    settings.report = reports.sink();
    VoiceEngine engine(settings);
    FrameCollector collector;
    engine.setListener(&collector);
    engine.setMode(0x82);
    ASSERT_EQ(engine.createChannel(), 0);
    SoundEvents recorder;
    engine.recorder().setListener(&recorder);
    engine.startRecording();
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(20), [&] { return reads.load() >= 12; }));
    }
    engine.stopRecording();
    ASSERT_TRUE(recorder.waitFor(&SoundEvents::stops_, 1));
    EXPECT_EQ(reads.load(), SoundBase::BufferCount);
    EXPECT_EQ(recorder.get(&SoundEvents::data_), 0);
    EXPECT_TRUE(collector.frames().empty());
    engine.closeAll();
    EXPECT_TRUE(reports.texts().empty());
}

TEST(VoiceEngine, AFrameThatFindsEveryBufferQueuedIsDroppedAndNoQueuedBufferIsOverwritten)
{
    TempDirectory dir;
    VoiceEngine::Settings settings;
    settings.input = fileDevice(dir / "none.wav");
    // Paced: each 1000-sample frame takes 125 ms to be taken by the device.
    settings.output = fileDevice(dir / "out.wav", true);
    Reports reports;
    settings.report = reports.sink();
    VoiceEngine engine(settings);
    engine.setMode(0x80);
    ASSERT_EQ(engine.createChannel(), 0);
    SoundPlayer& player = *engine.player(0);
    SoundEvents played;
    player.setListener(&played);
    std::string accepted;
    int taken = 0;
    for (int k = 0; k < 20; ++k) {
        const std::vector<int16_t> frame(1000, static_cast<int16_t>(100 * (k + 1)));
        if (player.play(frame.data(), 2000)) {
            accepted += bytesOfSamples(frame);
            ++taken;
        }
    }
    EXPECT_GE(taken, SoundBase::BufferCount);
    EXPECT_LT(taken, 20);
    EXPECT_EQ(player.droppedFrames(), static_cast<uint64_t>(20 - taken));
    ASSERT_TRUE(played.waitFor(&SoundEvents::data_, taken));
    engine.closeAll();
    WavSound out;
    ASSERT_EQ(loadWavFile((dir / "out.wav").c_str(), out), WavError::None);
    EXPECT_TRUE(std::string(out.samples.begin(), out.samples.end()) == accepted)
        << "what was played is every accepted frame, whole and in order";
    EXPECT_TRUE(reports.texts().empty());
}
