#pragma once

namespace orvane {

// What the program asks of "play this sound file": the stand-in for the system's one
// sound channel. Any thread may call; nothing waits for the sound.
class SoundOutput {
public:
    virtual ~SoundOutput();
    // Starts the WAV file at path and returns at once; the sound that was playing is cut
    // off. A missing, unreadable or malformed file plays nothing, leaves the sound that
    // is playing alone and answers false.
    virtual bool play(const char* path) = 0;
    // Cuts off the sound that is playing, if any.
    virtual void stop() = 0;
};

} // namespace orvane
