#pragma once

#include "voice/AudioCodec.h"

#include <cstdint>
#include <memory>

namespace orvane {

// What one mode byte selects. Bits 0-4 name the codec, bits 5-6 the sample rate (8000,
// 11025, 22050, 44100), bit 7 the sample width (1: 16-bit signed, 0: 8-bit unsigned).
// The program itself uses mode 132: iLBC with 30 ms frames, 8000 Hz, 16-bit.
struct VoiceMode {
    enum class Codec {
        None = 0,  // raw PCM, 1000 samples a frame
        Delta = 1, // 800
        Gsm = 2,   // 160
        Ilbc20 = 3, // 160
        Ilbc30 = 4, // 240
        MuLaw = 5, // 800
        Lpc10 = 6, // 180
        Unknown,   // 7-31: no codec, the frame size stays as it was
    };

    static constexpr uint8_t Default = 132;

    Codec codec = Codec::None;
    int sampleRate = 8000;
    int bitsPerSample = 8;
    // 0 for Unknown: keep the frame size in use.
    int samplesPerFrame = 1000;

    static VoiceMode parse(uint8_t mode);
    // The codec the mode names; NULL for raw PCM and unknown codecs.
    std::unique_ptr<AudioCodec> createCodec() const;
};

} // namespace orvane
