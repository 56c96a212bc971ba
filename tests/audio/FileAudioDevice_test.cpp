#include "audio/FileAudioDevice.h"

#include "audio/WavFile.h"
#include "tests/audio/WavBytes.h"
#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace orvane;
using namespace orvane::testing;

namespace {

FileAudioDevice::Settings fileAt(const std::string& path, bool paced = false)
{
    FileAudioDevice::Settings settings;
    settings.path = path.c_str();
    settings.paced = paced;
    return settings;
}

bool writeString(AudioDevice& device, const std::string& bytes, int frameBytes)
{
    return device.write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() / static_cast<size_t>(frameBytes));
}

} // namespace

TEST(FileAudioDevice, TheFileHoldsACanonicalHeaderAndExactlyTheSamplesWritten)
{
    TempDirectory dir;
    FileAudioDevice device(fileAt(dir / "out.wav"));
    const AudioFormat format{22050, 2, 16};
    ASSERT_TRUE(device.openOutput(format)) << device.errorText().c_str();
    const std::string first = countingBytes(4 * 240);
    const std::string second = countingBytes(4 * 17, 3);
    ASSERT_TRUE(writeString(device, first, 4));
    ASSERT_TRUE(writeString(device, second, 4));
    device.drain();
    device.close();
    EXPECT_FALSE(device.isOpen());

    EXPECT_EQ(readBytes(dir / "out.wav"), wavFile(2, 22050, 16, first + second));
}

TEST(FileAudioDevice, AnOddNumberOfBytesIsPaddedAsRiffWants)
{
    TempDirectory dir;
    FileAudioDevice device(fileAt(dir / "odd.wav"));
    ASSERT_TRUE(device.openOutput(AudioFormat{8000, 1, 8}));
    const std::string bytes = countingBytes(5);
    ASSERT_TRUE(writeString(device, bytes, 1));
    device.close();
    // wavFile pads the odd data chunk the same way.
    EXPECT_EQ(readBytes(dir / "odd.wav"), wavFile(1, 8000, 8, bytes));
}

TEST(FileAudioDevice, EachOpenStartsTheFileAfresh)
{
    TempDirectory dir;
    FileAudioDevice device(fileAt(dir / "out.wav"));
    ASSERT_TRUE(device.openOutput(AudioFormat{8000, 1, 16}));
    ASSERT_TRUE(writeString(device, countingBytes(400), 2));
    device.close();
    ASSERT_TRUE(device.openOutput(AudioFormat{8000, 1, 16}));
    const std::string second = samples16({9, 8, 7});
    ASSERT_TRUE(writeString(device, second, 2));
    device.close();
    EXPECT_EQ(readBytes(dir / "out.wav"), wavFile(1, 8000, 16, second));
}

TEST(FileAudioDevice, PacedWritesTakeTheTimeTheSoundPlays)
{
    TempDirectory dir;
    FileAudioDevice device(fileAt(dir / "paced.wav", true));
    ASSERT_TRUE(device.openOutput(AudioFormat{8000, 1, 16}));
    const std::string quarterSecond(2 * 2000, '\0');
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(writeString(device, quarterSecond, 2));
    const auto took = std::chrono::steady_clock::now() - before;
    device.close();
    EXPECT_GE(took, std::chrono::milliseconds(245));
}

TEST(FileAudioDevice, FailuresAnswerFalseWithAReason)
{
    TempDirectory dir;
    FileAudioDevice device(fileAt(dir / "no-such-folder/out.wav"));
    EXPECT_FALSE(device.openOutput(AudioFormat{8000, 1, 16}));
    EXPECT_FALSE(device.errorText().isEmpty());
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(device.write(reinterpret_cast<const uint8_t*>("\0\0"), 1));

    FileAudioDevice other(fileAt(dir / "out.wav"));
    EXPECT_FALSE(other.openOutput(AudioFormat{8000, 0, 16}));
    EXPECT_FALSE(other.openOutput(AudioFormat{8000, 1, 12}));
}

TEST(FileAudioDevice, CaptureReadsTheFilesSamplesInWholeFramesAndThenNothing)
{
    TempDirectory dir;
    const std::string samples = countingBytes(2 * 500, 3);
    writeBytes(dir / "in.wav", wavFile(1, 8000, 16, samples));
    FileAudioDevice::Settings settings;
    settings.path = (dir / "in.wav").c_str();
    FileAudioDevice device(settings);
    ASSERT_TRUE(device.openInput(AudioFormat{8000, 1, 16})) << device.errorText().c_str();
    std::string got;
    uint8_t buffer[2 * 240];
    std::vector<long> counts;
    for (int i = 0; i < 4; ++i) {
        const long n = device.read(buffer, 240);
        counts.push_back(n);
        if (n > 0)
            got.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n) * 2);
    }
    EXPECT_EQ(counts, (std::vector<long>{240, 240, 20, 0}));
    EXPECT_EQ(got, samples);
    device.close();
    EXPECT_EQ(device.read(buffer, 240), -1);
}

TEST(FileAudioDevice, CaptureTakesOnlyTheFormatAskedFor)
{
    TempDirectory dir;
    writeBytes(dir / "in.wav", wavFile(1, 8000, 16, std::string(100, '\0')));
    FileAudioDevice::Settings settings;
    settings.path = (dir / "in.wav").c_str();
    FileAudioDevice device(settings);
    EXPECT_FALSE(device.openInput(AudioFormat{22050, 1, 16}));
    EXPECT_NE(std::string(device.errorText().c_str()).find("another sample format"), std::string::npos);
    EXPECT_FALSE(device.openInput(AudioFormat{8000, 1, 8}));
    settings.path = (dir / "missing.wav").c_str();
    FileAudioDevice missing(settings);
    EXPECT_FALSE(missing.openInput(AudioFormat{8000, 1, 16}));
    EXPECT_FALSE(missing.isOpen());
    EXPECT_NE(std::string(missing.errorText().c_str()).find("missing.wav"), std::string::npos);
}

TEST(FileAudioDevice, PacedCaptureTakesTheTimeTheSoundWasRecordedIn)
{
    TempDirectory dir;
    writeBytes(dir / "in.wav", wavFile(1, 8000, 16, std::string(2 * 1600, '\0')));
    FileAudioDevice::Settings settings;
    settings.path = (dir / "in.wav").c_str();
    settings.paced = true;
    FileAudioDevice device(settings);
    // The pace counts from the open.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(device.openInput(AudioFormat{8000, 1, 16}));
    uint8_t buffer[2 * 800];
    ASSERT_EQ(device.read(buffer, 800), 800);
    ASSERT_EQ(device.read(buffer, 800), 800);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}
