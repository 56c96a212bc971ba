#include "audio/AlsaAudioDevice.h"

#include "audio/WavPlayer.h"
#include "tests/audio/AlsaTestConfig.h"
#include "tests/audio/WavBytes.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

bool writeString(AudioDevice& device, const std::string& bytes, const AudioFormat& format)
{
    return device.write(reinterpret_cast<const uint8_t*>(bytes.data()),
                        bytes.size() / static_cast<size_t>(format.bytesPerFrame()));
}

} // namespace

TEST(AlsaAudioDevice, WhatIsPlayedOnDefaultArrivesByteForByte)
{
    AlsaTestConfig alsa;
    struct Case {
        const char* name;
        AudioFormat format;
        size_t frames;
    };
    // Frame counts off the period on purpose, and one short of a single period (which
    // never reaches the start threshold and must be started by the end of the sound).
    const Case cases[] = {
        {"16-bit mono", {22050, 1, 16}, 1000},
        {"8-bit stereo", {8000, 2, 8}, 777},
        {"24-bit mono", {48000, 1, 24}, 2401},
        {"32-bit stereo", {44100, 2, 32}, 480},
        {"less than one period", {22050, 1, 16}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = countingBytes(c.frames * static_cast<size_t>(c.format.bytesPerFrame()), 11);
        AlsaAudioDevice device;
        ASSERT_TRUE(device.openOutput(c.format)) << device.errorText().c_str();
        ASSERT_TRUE(writeString(device, bytes, c.format));
        device.drain();
        device.close();
        EXPECT_EQ(alsa.defaultOutput(), bytes);
    }
}

TEST(AlsaAudioDevice, TheStreamRunsInPeriodsOfTenMilliseconds)
{
    AlsaTestConfig alsa;
    for (const int rate : {8000, 22050}) {
        SCOPED_TRACE(rate);
        AlsaAudioDevice device;
        ASSERT_TRUE(device.openOutput(AudioFormat{rate, 1, 16})) << device.errorText().c_str();
        const unsigned long period = static_cast<unsigned long>(rate) * AlsaAudioDevice::PeriodMillis / 1000;
        EXPECT_EQ(device.periodFrames(), period);
        EXPECT_GE(device.bufferFrames(), 2 * period);
    }
}

TEST(AlsaAudioDevice, ANamedPcmIsUsed)
{
    AlsaTestConfig alsa;
    AlsaAudioDevice device("orvane_test_named");
    const std::string bytes = samples16({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(device.openOutput(AudioFormat{8000, 1, 16})) << device.errorText().c_str();
    ASSERT_TRUE(writeString(device, bytes, AudioFormat{8000, 1, 16}));
    device.drain();
    device.close();
    EXPECT_EQ(alsa.namedOutput(), bytes);
    EXPECT_EQ(alsa.defaultOutput(), "<missing>");
}

TEST(AlsaAudioDevice, AMissingPcmFailsToOpenWithAReason)
{
    AlsaTestConfig alsa;
    AlsaAudioDevice device("orvane_no_such_pcm");
    EXPECT_FALSE(device.openOutput(AudioFormat{22050, 1, 16}));
    EXPECT_FALSE(device.isOpen());
    EXPECT_NE(device.errorText().find("orvane_no_such_pcm"), -1) << device.errorText().c_str();
    EXPECT_LT(device.errorCode(), 0);
    EXPECT_FALSE(device.write(reinterpret_cast<const uint8_t*>("\0\0"), 1));
    EXPECT_EQ(device.pendingMillis(), 0);
    device.drain();
    device.close();
}

TEST(AlsaAudioDevice, ThePlayerPlaysAFileThroughAlsa)
{
    AlsaTestConfig alsa;
    TempDirectory dir;
    const std::string samples = countingBytes(2 * 3000, 5);
    writeBytes(dir / "sound.wav", wavFile(1, 22050, 16, samples));

    WavPlayer::Settings settings;
    settings.device = [] { return std::make_unique<AlsaAudioDevice>(); };
    WavPlayer player(settings);
    ASSERT_TRUE(player.play((dir / "sound.wav").c_str()));
    ASSERT_TRUE(player.waitUntilIdle(10000));
    EXPECT_EQ(alsa.defaultOutput(), samples);
}

TEST(AlsaAudioDevice, WithoutADeviceThePlayerPlaysNothingAndSaysSoOnce)
{
    AlsaTestConfig alsa;
    TempDirectory dir;
    writeBytes(dir / "sound.wav", wavFile(1, 8000, 16, samples16({1, 2, 3})));

    std::mutex lock;
    std::vector<std::string> reports;
    WavPlayer::Settings settings;
    settings.device = [] { return std::make_unique<AlsaAudioDevice>("orvane_no_such_pcm"); };
    settings.report = [&](const char* text) {
        std::lock_guard<std::mutex> guard(lock);
        reports.push_back(text);
    };
    WavPlayer player(settings);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(player.play((dir / "sound.wav").c_str()));
        ASSERT_TRUE(player.waitUntilIdle(10000));
    }
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("orvane_no_such_pcm"), std::string::npos) << reports[0];
}

TEST(AlsaAudioDevice, CaptureReadsWholeFramesOfWhatTheDeviceRecorded)
{
    AlsaTestConfig alsa;
    const AudioFormat format{8000, 1, 16};
    const std::string recorded = countingBytes(2 * 240 * 3, 5);
    alsa.setCaptureInput(recorded);
    AlsaAudioDevice device("orvane_test_capture");
    ASSERT_TRUE(device.openInput(format)) << device.errorText().c_str();
    std::string got;
    uint8_t buffer[2 * 240];
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(device.read(buffer, 240), 240);
        got.append(reinterpret_cast<const char*>(buffer), sizeof buffer);
    }
    EXPECT_EQ(got, recorded);
    EXPECT_FALSE(device.write(buffer, 240)) << "a capture stream does not play";
    device.close();
    EXPECT_EQ(device.read(buffer, 240), -1);
}

TEST(AlsaAudioDevice, AMissingCapturePcmFailsToOpenWithAReason)
{
    AlsaTestConfig alsa;
    AlsaAudioDevice device("orvane_no_such_pcm");
    EXPECT_FALSE(device.openInput(AudioFormat{8000, 1, 16}));
    EXPECT_FALSE(device.isOpen());
    EXPECT_NE(std::string(device.errorText().c_str()).find("orvane_no_such_pcm"), std::string::npos);
}
