#include "audio/AudioFormat.h"

namespace orvane {

bool AudioFormat::isValid() const
{
    const bool knownWidth = bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
    return knownWidth && channels >= 1 && channels <= MaxChannels && sampleRate >= MinSampleRate &&
           sampleRate <= MaxSampleRate;
}

int64_t AudioFormat::millisOf(int64_t frames) const
{
    if (!isValid() || frames <= 0)
        return 0;
    return frames * 1000 / sampleRate;
}

} // namespace orvane
