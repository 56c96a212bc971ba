// Feeds arbitrary received frames to the decoders of every codec mode: a frame of the
// wrong size gives nothing, a frame of the right size gives exactly one frame of samples,
// the delta decoder gives at most one sample per bit, and nothing is read past the frame.
#include "voice/AudioCodec.h"
#include "voice/VoiceMode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    // The first byte picks the codec (as a mode byte's low bits do), the rest is the frame.
    const uint8_t mode = static_cast<uint8_t>(0x80 | (data[0] % 7));
    const std::vector<uint8_t> frame(data + 1, data + size);
    const std::unique_ptr<AudioCodec> codec = VoiceMode::parse(mode).createCodec();
    if (!codec)
        return 0;
    const int n = static_cast<int>(frame.size());
    SampleArray samples;
    ByteArray bytes;
    // Twice, so that a decoder's state carried from one frame to the next is exercised.
    for (int round = 0; round < 2; ++round) {
        const int got16 = codec->decode16(frame.data(), n, samples, false);
        const int got8 = codec->decode8(frame.data(), n, bytes, false);
        if (got16 != samples.count() || got8 != bytes.count())
            std::abort();
        if (codec->frameBytes() > 0) {
            const int expected = n == codec->frameBytes() ? codec->frameSamples() : 0;
            if (got16 != expected || got8 != expected)
                std::abort();
        } else if (got16 > 8 * n || got8 > 8 * n) {
            std::abort();
        }
    }
    return 0;
}
