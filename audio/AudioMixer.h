#pragma once

#include "audio/AudioDevice.h"
#include "foundation/String.h"

#include <poll.h>

#include <memory>
#include <vector>

namespace orvane {

// The two lines of the system's mixer that the program moves: the volume of what is played
// (the speakers) and the recording volume of the microphone.
enum class MixerLine { Speakers = 0, Microphone = 1 };

// One volume control of one mixer line: its bounds, how many values it holds (one per
// channel; one for a mono line or a control that moves all channels together) and the
// values themselves, [0] being the left or only channel and [1] the right.
//
// The values read are those the mixer had at the last read or change notice; a write
// goes to the mixer at once. Used on one thread, the one that owns the mixer.
class MixerControl {
public:
    virtual ~MixerControl();

    // The name of the mixer element behind the line ("Master", "Capture").
    virtual const String& name() const = 0;
    virtual MixerLine line() const = 0;
    // Values the control holds, at least 1.
    virtual int channelCount() const = 0;
    virtual long minimum() const = 0;
    virtual long maximum() const = 0;
    // How many steps lie between the bounds (for ALSA the range itself).
    virtual long steps() const = 0;
    // Fills values with channelCount() values; false when the mixer refused.
    virtual bool read(std::vector<long>& values) = 0;
    // Writes the first channelCount() values (fewer leaves the rest as they are); false
    // when the mixer refused.
    virtual bool write(const std::vector<long>& values) = 0;
};

// The system's mixer: a volume control per line, and notice of changes made elsewhere
// (another program, the system's own volume panel). The owner watches pollDescriptors()
// and calls handleEvents() when one is ready, on the thread that uses the controls.
class AudioMixer {
public:
    virtual ~AudioMixer();

    // The line's volume control, or NULL when the mixer has none. It lives as long as
    // the mixer.
    virtual MixerControl* control(MixerLine line) = 0;
    // What to poll for change notices; may be empty (then no change is ever noticed).
    virtual std::vector<pollfd> pollDescriptors() = 0;
    // Takes the pending notices without waiting: the controls whose values changed
    // (each at most once).
    virtual std::vector<MixerControl*> handleEvents() = 0;

    // The mixer that goes with the sound device of the choice: for ALSA the simple mixer
    // of the same device name ("Master" for the speakers, "Capture" for the microphone);
    // the file and silent devices have none. NULL when there is no mixer, or it cannot be
    // opened (errorText says why).
    static std::unique_ptr<AudioMixer> open(const AudioDeviceChoice& choice, String* errorText = nullptr);
};

} // namespace orvane
