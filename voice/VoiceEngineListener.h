#pragma once

#include <cstdint>

namespace orvane {

// Receives the engine's encoded frames, on the recorder thread: one call per recorded
// buffer and playback channel (channel is the index; free slots are told too).
class VoiceEngineListener {
public:
    virtual ~VoiceEngineListener() = default;
    virtual void onEncodedFrame(int channel, const uint8_t* data, int length) = 0;
};

} // namespace orvane
