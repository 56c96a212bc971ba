#include "audio/WavPlayer.h"

#include "tests/audio/RecordingDevices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

TEST(WavPlayer, PlaysAFileToTheDeviceExactlyOnce)
{
    TempDirectory dir;
    const std::string samples = countingBytes(2 * 1234, 1);
    writeBytes(dir / "a.wav", wavFile(1, 11025, 16, samples));
    RecordingDevices devices(dir, false);
    WavPlayer player(devices.settings());

    ASSERT_TRUE(player.play((dir / "a.wav").c_str()));
    ASSERT_TRUE(player.waitUntilIdle(10000));
    EXPECT_EQ(devices.made(), 1);
    EXPECT_EQ(devices.output(0), wavFile(1, 11025, 16, samples));
    EXPECT_FALSE(player.isPlaying());
    EXPECT_TRUE(devices.reports().empty());
}

TEST(WavPlayer, WhatIsNoSoundFilePlaysNothingAndOpensNoDevice)
{
    TempDirectory dir;
    writeBytes(dir / "text.wav", "hello");
    writeBytes(dir / "float.wav", riff(chunk("fmt ", fmtBody(3, 1, 8000, 32)) + chunk("data", "abcd")));
    RecordingDevices devices(dir, false);
    WavPlayer player(devices.settings());

    for (const std::string& path : {dir / "missing.wav", dir / "text.wav", dir / "float.wav", std::string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(player.play(path.c_str()));
        EXPECT_FALSE(player.isPlaying());
    }
    EXPECT_FALSE(player.play(nullptr));
    EXPECT_FALSE(player.playSound(WavSound{AudioFormat{8000, 0, 16}, {}}));
    EXPECT_TRUE(player.waitUntilIdle(0));
    EXPECT_EQ(devices.made(), 0);
}

TEST(WavPlayer, ANewSoundCutsOffTheOneBefore)
{
    TempDirectory dir;
    writeBytes(dir / "long.wav", wavFile(1, 8000, 16, steadySound(5000, 1111)));
    const std::string shortSamples = steadySound(100, 2222);
    writeBytes(dir / "short.wav", wavFile(1, 8000, 16, shortSamples));
    RecordingDevices devices(dir, true);
    WavPlayer player(devices.settings());

    ASSERT_TRUE(player.play((dir / "long.wav").c_str()));
    ASSERT_TRUE(devices.waitForFrames(0, 800));
    const auto cut = std::chrono::steady_clock::now();
    ASSERT_TRUE(player.play((dir / "short.wav").c_str()));
    ASSERT_TRUE(player.waitUntilIdle(10000));
    const auto took = std::chrono::steady_clock::now() - cut;

    // The long sound stopped within a few periods of the cut, not after its 5 s; the
    // short one played whole after it.
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_LT(devices.samples(0).size(), steadySound(2000, 0).size());
    EXPECT_EQ(devices.samples(1), shortSamples);
    EXPECT_EQ(devices.made(), 2);
}

TEST(WavPlayer, StopCutsOffTheSoundAtOnce)
{
    TempDirectory dir;
    writeBytes(dir / "long.wav", wavFile(1, 8000, 16, steadySound(5000, 1111)));
    RecordingDevices devices(dir, true);
    WavPlayer player(devices.settings());

    ASSERT_TRUE(player.play((dir / "long.wav").c_str()));
    ASSERT_TRUE(devices.waitForFrames(0, 800));
    const auto cut = std::chrono::steady_clock::now();
    player.stop();
    ASSERT_TRUE(player.waitUntilIdle(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - cut, std::chrono::milliseconds(2000));
    EXPECT_LT(devices.samples(0).size(), steadySound(2000, 0).size());
    EXPECT_FALSE(player.isPlaying());
    // Stop with nothing playing changes nothing.
    player.stop();
    EXPECT_TRUE(player.waitUntilIdle(0));
    EXPECT_EQ(devices.made(), 1);
}

TEST(WavPlayer, AFileThatIsNoSoundLeavesThePlayingSoundAlone)
{
    TempDirectory dir;
    const std::string samples = steadySound(300, 1234);
    writeBytes(dir / "a.wav", wavFile(1, 8000, 16, samples));
    writeBytes(dir / "broken.wav", riff(chunk("fmt ", fmtBody(1, 0, 8000, 16))));
    RecordingDevices devices(dir, true);
    WavPlayer player(devices.settings());

    ASSERT_TRUE(player.play((dir / "a.wav").c_str()));
    ASSERT_TRUE(devices.waitForFrames(0, 240));
    EXPECT_FALSE(player.play((dir / "broken.wav").c_str()));
    EXPECT_FALSE(player.play((dir / "missing.wav").c_str()));
    ASSERT_TRUE(player.waitUntilIdle(10000));
    EXPECT_EQ(devices.samples(0), samples);
    EXPECT_EQ(devices.made(), 1);
}

TEST(WavPlayer, DestroyingThePlayerCutsOffItsSound)
{
    TempDirectory dir;
    writeBytes(dir / "long.wav", wavFile(1, 8000, 16, steadySound(5000, 1111)));
    RecordingDevices devices(dir, true);
    auto player = std::make_unique<WavPlayer>(devices.settings());
    ASSERT_TRUE(player->play((dir / "long.wav").c_str()));
    ASSERT_TRUE(devices.waitForFrames(0, 240));
    const auto before = std::chrono::steady_clock::now();
    player.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(2000));
    // The file was closed properly: its header counts what it holds.
    WavSound sound;
    EXPECT_EQ(loadWavFile((dir / "sound-0.wav").c_str(), sound), WavError::None);
    EXPECT_LT(sound.samples.size(), steadySound(2000, 0).size());
}

TEST(WavPlayer, ADeviceThatCannotOpenIsReportedOnceUntilASoundPlays)
{
    TempDirectory dir;
    writeBytes(dir / "a.wav", wavFile(1, 8000, 16, samples16({1, 2, 3})));
    bool deviceWorks = false;
    std::mutex lock;
    std::vector<std::string> reports;
    WavPlayer::Settings settings;
    settings.device = [&]() -> std::unique_ptr<AudioDevice> {
        FileAudioDevice::Settings file;
        file.path = (deviceWorks ? dir / "out.wav" : dir / "no-such-folder/out.wav").c_str();
        return std::make_unique<FileAudioDevice>(file);
    };
    settings.report = [&](const char* text) {
        std::lock_guard<std::mutex> guard(lock);
        reports.push_back(text);
    };
    WavPlayer player(settings);
    auto playAndWait = [&] {
        ASSERT_TRUE(player.play((dir / "a.wav").c_str()));
        ASSERT_TRUE(player.waitUntilIdle(10000));
    };
    playAndWait();
    playAndWait();
    deviceWorks = true;
    playAndWait();
    deviceWorks = false;
    playAndWait();

    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("no-such-folder"), std::string::npos) << reports[0];
}

TEST(WavPlayer, WithNoDeviceNothingIsPlayedOrReported)
{
    TempDirectory dir;
    writeBytes(dir / "a.wav", wavFile(1, 8000, 16, samples16({1, 2, 3})));
    int reports = 0;
    WavPlayer::Settings settings;
    settings.device = [] { return std::unique_ptr<AudioDevice>(); };
    settings.report = [&](const char*) { ++reports; };
    WavPlayer player(settings);
    EXPECT_TRUE(player.play((dir / "a.wav").c_str()));
    EXPECT_TRUE(player.waitUntilIdle(10000));
    EXPECT_EQ(reports, 0);
}
