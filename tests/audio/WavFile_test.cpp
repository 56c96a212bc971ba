#include "audio/WavFile.h"

#include "tests/audio/WavBytes.h"
#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

WavError parse(const std::string& image, WavSound& sound)
{
    return parseWav(reinterpret_cast<const uint8_t*>(image.data()), image.size(), sound);
}

std::string samplesOf(const WavSound& sound)
{
    return std::string(sound.samples.begin(), sound.samples.end());
}

const std::string Fmt16 = chunk("fmt ", fmtBody(1, 1, 22050, 16));

} // namespace

TEST(WavFile, ReadsTheFormatAndTheSamplesOfACanonicalFile)
{
    const std::string data = samples16({0, 1000, -1000, 32767, -32768});
    WavSound sound;
    ASSERT_EQ(parse(wavFile(1, 22050, 16, data), sound), WavError::None);
    EXPECT_EQ(sound.format.sampleRate, 22050);
    EXPECT_EQ(sound.format.channels, 1);
    EXPECT_EQ(sound.format.bitsPerSample, 16);
    EXPECT_EQ(samplesOf(sound), data);
    EXPECT_EQ(sound.frameCount(), 5u);
}

TEST(WavFile, AcceptsEveryPlayedShapeOfPcm)
{
    struct Case {
        const char* name;
        std::string fmt;
        AudioFormat expected;
    };
    const Case cases[] = {
        {"8-bit mono", chunk("fmt ", fmtBody(1, 1, 8000, 8)), {8000, 1, 8}},
        {"16-bit stereo", chunk("fmt ", fmtBody(1, 2, 44100, 16)), {44100, 2, 16}},
        {"24-bit mono", chunk("fmt ", fmtBody(1, 1, 48000, 24)), {48000, 1, 24}},
        {"32-bit 8 channels", chunk("fmt ", fmtBody(1, 8, 96000, 32)), {96000, 8, 32}},
        {"fmt with an extra size field", chunk("fmt ", fmtBody(1, 1, 11025, 16) + le16(0)), {11025, 1, 16}},
        {"extensible PCM", chunk("fmt ", extensibleBody(1, 2, 48000, 16)), {48000, 2, 16}},
        {"lowest rate", chunk("fmt ", fmtBody(1, 1, 1000, 16)), {1000, 1, 16}},
        {"highest rate", chunk("fmt ", fmtBody(1, 1, 384000, 16)), {384000, 1, 16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data = countingBytes(static_cast<size_t>(c.expected.bytesPerFrame()) * 3);
        WavSound sound;
        ASSERT_EQ(parse(riff(c.fmt + chunk("data", data)), sound), WavError::None);
        EXPECT_EQ(sound.format, c.expected);
        EXPECT_EQ(samplesOf(sound), data);
    }
}

TEST(WavFile, RefusesMalformedFilesWithTheirReason)
{
    const std::string data = chunk("data", samples16({1, 2, 3}));
    struct Case {
        const char* name;
        std::string image;
        WavError expected;
    };
    const Case cases[] = {
        {"empty", "", WavError::NotRiffWave},
        {"shorter than the RIFF header", std::string("RIFF\x04\x00\x00\x00WAV", 11), WavError::NotRiffWave},
        {"big-endian RIFX", "RIFX" + le32(4) + "WAVE" + Fmt16 + data, WavError::NotRiffWave},
        {"RIFF but not WAVE", "RIFF" + le32(4) + "AVI " + Fmt16 + data, WavError::NotRiffWave},
        {"only a RIFF header", riff(""), WavError::NoFormat},
        {"chunk header cut off", riff("fmt " + le16(16)), WavError::BadChunk},
        {"fmt cut off after its header", riff(chunkClaiming("fmt ", 16, fmtBody(1, 1, 22050, 16).substr(0, 10))),
         WavError::BadChunk},
        {"data claims one byte past the end", riff(Fmt16 + chunkClaiming("data", 7, samples16({1, 2, 3}))),
         WavError::BadChunk},
        {"data claims 4 GiB", riff(Fmt16 + chunkClaiming("data", 0xFFFFFFFFu, samples16({1, 2, 3}))),
         WavError::BadChunk},
        {"an unknown chunk claims 4 GiB", riff(chunkClaiming("LIST", 0xFFFFFFF0u, "abcd") + Fmt16 + data),
         WavError::BadChunk},
        {"fmt shorter than 16 bytes", riff(chunk("fmt ", fmtBody(1, 1, 22050, 16).substr(0, 14)) + data),
         WavError::NoFormat},
        {"data before fmt", riff(data + Fmt16), WavError::NoFormat},
        {"no fmt at all", riff(chunk("LIST", "info") + data), WavError::NoFormat},
        {"no data chunk", riff(Fmt16 + chunk("LIST", "info")), WavError::NoData},
        {"IEEE float", riff(chunk("fmt ", fmtBody(3, 1, 22050, 32)) + data), WavError::NotPcm},
        {"ADPCM", riff(chunk("fmt ", fmtBody(2, 1, 22050, 4, 256)) + data), WavError::NotPcm},
        {"mu-law", riff(chunk("fmt ", fmtBody(7, 1, 8000, 8)) + data), WavError::NotPcm},
        {"extensible float", riff(chunk("fmt ", extensibleBody(3, 1, 48000, 32)) + data), WavError::NotPcm},
        {"extensible cut to 18 bytes", riff(chunk("fmt ", fmtBody(0xFFFE, 1, 48000, 16) + le16(0)) + data),
         WavError::NotPcm},
        {"zero channels", riff(chunk("fmt ", fmtBody(1, 0, 22050, 16)) + data), WavError::BadFormat},
        {"nine channels", riff(chunk("fmt ", fmtBody(1, 9, 22050, 16)) + data), WavError::BadFormat},
        {"65535 channels", riff(chunk("fmt ", fmtBody(1, 65535, 22050, 16)) + data), WavError::BadFormat},
        {"rate 0", riff(chunk("fmt ", fmtBody(1, 1, 0, 16)) + data), WavError::BadFormat},
        {"rate 999", riff(chunk("fmt ", fmtBody(1, 1, 999, 16)) + data), WavError::BadFormat},
        {"rate 4 G", riff(chunk("fmt ", fmtBody(1, 1, 0xFFFFFFFFu, 16)) + data), WavError::BadFormat},
        {"rate past the top", riff(chunk("fmt ", fmtBody(1, 1, 384001, 16)) + data), WavError::BadFormat},
        {"0 bits", riff(chunk("fmt ", fmtBody(1, 1, 22050, 0)) + data), WavError::BadFormat},
        {"12 bits", riff(chunk("fmt ", fmtBody(1, 1, 22050, 12, 2)) + data), WavError::BadFormat},
        {"64 bits", riff(chunk("fmt ", fmtBody(1, 1, 22050, 64)) + data), WavError::BadFormat},
        {"block align 0", riff(chunk("fmt ", fmtBody(1, 2, 22050, 16, 0)) + data), WavError::BadFormat},
        {"block align of one channel for two", riff(chunk("fmt ", fmtBody(1, 2, 22050, 16, 2)) + data),
         WavError::BadFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavSound sound;
        EXPECT_EQ(parse(c.image, sound), c.expected);
        EXPECT_TRUE(sound.samples.empty());
    }
}

TEST(WavFile, TakesWhatRealFilesLookLike)
{
    const std::string pcm = samples16({5, -5, 7});
    struct Case {
        const char* name;
        std::string image;
        std::string samples;
    };
    const Case cases[] = {
        {"odd-sized chunk with its pad byte before fmt", riff(chunk("LIST", "odd") + Fmt16 + chunk("data", pcm)), pcm},
        {"chunks after the data", riff(Fmt16 + chunk("data", pcm) + chunk("LIST", std::string(40, 'x'))), pcm},
        {"a second fmt is ignored", riff(Fmt16 + chunk("fmt ", fmtBody(3, 2, 8000, 32)) + chunk("data", pcm)), pcm},
        {"half a frame at the end is dropped", riff(Fmt16 + chunk("data", pcm + "\x01")), pcm},
        {"an empty data chunk", riff(Fmt16 + chunk("data", "")), ""},
        {"RIFF size smaller than the file", "RIFF" + le32(4) + "WAVE" + Fmt16 + chunk("data", pcm), pcm},
        {"RIFF size of 4 GiB", "RIFF" + le32(0xFFFFFFFFu) + "WAVE" + Fmt16 + chunk("data", pcm), pcm},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavSound sound;
        ASSERT_EQ(parse(c.image, sound), WavError::None);
        EXPECT_EQ(samplesOf(sound), c.samples);
    }
}

TEST(WavFile, AnOddChunkAtTheVeryEndWithoutItsPadIsNoReadPastTheEnd)
{
    // Parsed from a buffer that is exactly the image, so a read past it shows under ASan.
    const std::string image = riff(Fmt16 + chunkClaiming("LIST", 3, "abc"));
    std::vector<uint8_t> exact(image.begin(), image.end());
    WavSound sound;
    EXPECT_EQ(parseWav(exact.data(), exact.size(), sound), WavError::NoData);
}

TEST(WavFile, EveryCutOfAGoodFileFailsCleanly)
{
    const std::string image = riff(chunk("LIST", "odd") + Fmt16 + chunk("data", samples16({1, 2, 3, 4})));
    for (size_t cut = 0; cut < image.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::vector<uint8_t> exact(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut));
        WavSound sound;
        EXPECT_NE(parseWav(exact.data(), exact.size(), sound), WavError::None);
    }
}

TEST(WavFile, LoadsFilesAndRefusesWhatIsNoSoundFile)
{
    TempDirectory dir;
    const std::string data = samples16({100, 200, 300});
    writeBytes(dir / "ok.wav", wavFile(1, 8000, 16, data));
    writeBytes(dir / "text.wav", "not a sound");
    ::mkdir((dir / "folder.wav").c_str(), 0700);
    // Sparse: a file one byte over the bound costs no disk.
    const std::string large = dir / "large.wav";
    writeBytes(large, wavFile(1, 8000, 16, data));
    ASSERT_EQ(::truncate(large.c_str(), static_cast<off_t>(MaxWavFileBytes + 1)), 0);

    WavSound sound;
    ASSERT_EQ(loadWavFile((dir / "ok.wav").c_str(), sound), WavError::None);
    EXPECT_EQ(samplesOf(sound), data);

    struct Case {
        std::string path;
        WavError expected;
    };
    const Case cases[] = {
        {dir / "missing.wav", WavError::Unreadable},
        {"", WavError::Unreadable},
        {dir / "folder.wav", WavError::Unreadable},
        {dir / "text.wav", WavError::NotRiffWave},
        {large, WavError::TooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        WavSound other;
        EXPECT_EQ(loadWavFile(c.path.c_str(), other), c.expected);
    }
    WavSound none;
    EXPECT_EQ(loadWavFile(nullptr, none), WavError::Unreadable);
}

TEST(WavFile, TheHeaderWriterMakesTheCanonicalHeader)
{
    const auto header = wavHeader(AudioFormat{22050, 2, 16}, 1000);
    const std::string expected = "RIFF" + le32(1036) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(2) + le32(22050) +
                                 le32(88200) + le16(4) + le16(16) + "data" + le32(1000);
    EXPECT_EQ(std::string(header.begin(), header.end()), expected);

    // An odd count is padded in the RIFF size; a count past 4 GiB is capped so the RIFF
    // size still fits.
    const auto odd = wavHeader(AudioFormat{8000, 1, 8}, 7);
    EXPECT_EQ(std::string(odd.begin() + 4, odd.begin() + 8), le32(36 + 8));
    const auto huge = wavHeader(AudioFormat{8000, 1, 8}, 1ull << 33);
    auto field = [&huge](size_t at) {
        return static_cast<uint64_t>(huge[at]) | static_cast<uint64_t>(huge[at + 1]) << 8 |
               static_cast<uint64_t>(huge[at + 2]) << 16 | static_cast<uint64_t>(huge[at + 3]) << 24;
    };
    const uint64_t riffSize = field(4);
    const uint64_t dataSize = field(40);
    EXPECT_GT(dataSize, 0xFFFF0000u);
    EXPECT_EQ(riffSize, 36 + dataSize + (dataSize & 1));
}
