#pragma once

namespace orvane {

// Hears a sound thread: start and stop of its device, and each buffer recorded or played
// (length in bytes). Called on the sound thread itself.
class SoundListener {
public:
    virtual ~SoundListener() = default;
    virtual void onStart() {}
    virtual void onData(const void* data, int length) {}
    virtual void onStop() {}
};

} // namespace orvane
