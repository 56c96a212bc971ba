#pragma once

#include "audio/AudioMixer.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace orvane {

// The system's mixer on the user-interface thread: it watches the mixer's descriptors in
// the toolkit's main loop and, when a notice arrives, takes it and tells every listener
// which control changed, as the mixer's change messages reached the window they were
// addressed to. Shared by the faders that use it (the last one to go closes the mixer).
//
// User-interface thread only.
class MixerWatch {
public:
    using Listener = std::function<void(AudioMixer& mixer, MixerControl& control)>;

    // Takes the mixer (NULL: no mixer; nothing is watched) and starts watching it.
    explicit MixerWatch(std::unique_ptr<AudioMixer> mixer);
    // The mixer chosen by ORVANE_AUDIO_DEVICE (AudioDeviceChoice), or an empty watch.
    static std::shared_ptr<MixerWatch> openDefault();
    ~MixerWatch();
    MixerWatch(const MixerWatch&) = delete;
    MixerWatch& operator=(const MixerWatch&) = delete;

    AudioMixer* mixer() const { return mixer_.get(); }

    // A listener until unsubscribe; the answer is its key.
    int subscribe(Listener listener);
    void unsubscribe(int key);

    // Takes the pending notices now and tells the listeners; the main loop calls it when
    // a descriptor is ready.
    void dispatch();

private:
    std::unique_ptr<AudioMixer> mixer_;
    std::vector<unsigned> sources_;
    std::map<int, Listener> listeners_;
    int nextKey_ = 1;
};

} // namespace orvane
