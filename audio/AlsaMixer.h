#pragma once

#include "audio/AudioMixer.h"

#include <memory>

namespace orvane {

// ALSA's simple mixer on one device (a card's "hw:0", "default", or a plugin's control
// such as "pulse"): the element "Master" (playback volume) for the speakers and "Capture"
// (capture volume) for the microphone. A control whose volume is joined across channels,
// or whose element is mono, holds one value.
//
// Change notices come from the mixer's own descriptors: element callbacks, run inside
// handleEvents, mark the controls that changed. Not thread-safe: one thread opens, polls,
// reads and writes.
class AlsaMixer : public AudioMixer {
public:
    static constexpr const char* SpeakersElement = "Master";
    static constexpr const char* MicrophoneElement = "Capture";

    // An open mixer with whatever of the two elements it has, or NULL (and the reason in
    // errorText) when the device's mixer cannot be opened and loaded.
    static std::unique_ptr<AlsaMixer> open(const String& device, String* errorText = nullptr);
    ~AlsaMixer() override;

    MixerControl* control(MixerLine line) override;
    std::vector<pollfd> pollDescriptors() override;
    std::vector<MixerControl*> handleEvents() override;

    const String& device() const { return device_; }

    struct Handle;
    class Control;

private:
    AlsaMixer(const String& device, std::unique_ptr<Handle> handle);

    String device_;
    std::unique_ptr<Handle> handle_;
    std::unique_ptr<Control> speakers_;
    std::unique_ptr<Control> microphone_;
};

} // namespace orvane
