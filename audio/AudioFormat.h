#pragma once

#include <cstdint>

namespace orvane {

// The shape of linear PCM as a device takes or gives it: interleaved frames, 8-bit samples
// unsigned, wider ones signed little-endian. Both directions use it: the sound files and
// the notices play in it today, and the voice engine's capture will record in it.
struct AudioFormat {
    // The bounds that a device and the sound-file reader accept. A format from a file is
    // checked against them before anything is sized from it.
    static constexpr int MinSampleRate = 1000;
    static constexpr int MaxSampleRate = 384000;
    static constexpr int MaxChannels = 8;

    int sampleRate = 22050;
    int channels = 1;
    // 8, 16, 24 or 32.
    int bitsPerSample = 16;

    // Bytes of one frame: one sample of every channel.
    int bytesPerFrame() const { return channels * (bitsPerSample / 8); }
    // Within the bounds above, with a supported sample width.
    bool isValid() const;
    // How long the frames play, in milliseconds, rounded down; 0 for an invalid format.
    int64_t millisOf(int64_t frames) const;

    bool operator==(const AudioFormat& other) const
    {
        return sampleRate == other.sampleRate && channels == other.channels && bitsPerSample == other.bitsPerSample;
    }
    bool operator!=(const AudioFormat& other) const { return !(*this == other); }
};

} // namespace orvane
