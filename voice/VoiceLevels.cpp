#include "voice/VoiceLevels.h"

namespace orvane {

int level16(const int16_t* samples, int count)
{
    int peak = 0;
    for (int i = 0; i < count; ++i)
        if (samples[i] > peak)
            peak = samples[i];
    return peak * 100 / 32767;
}

int level8(const uint8_t* samples, int count)
{
    // An empty buffer peaks at 0, the bottom of the scale.
    int peak = 0;
    for (int i = 0; i < count; ++i)
        if (samples[i] > peak)
            peak = samples[i];
    return (peak - 128) * 100 / 127;
}

} // namespace orvane
