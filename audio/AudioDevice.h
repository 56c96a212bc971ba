#pragma once

#include "audio/AudioFormat.h"
#include "foundation/String.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace orvane {

// One stream to or from a sound device, used by one thread at a time. Output: openOutput,
// then write as much as there is (blocking while the device's buffer is full, so a writer
// runs at the device's pace), then either drain (what was written is heard to the end) or
// close at once (what is still buffered is dropped). Capture is the mirror image: openInput,
// then blocking reads of whole frames at the device's pace, then close (what was captured
// and not read is dropped, so the next openInput starts with fresh sound). Levels are
// computed by the caller from the samples, not by the device.
//
// A failing call answers false and leaves its reason in errorText() (and, where the
// back-end has one, errorCode()); the device is then closed and may be opened again.
class AudioDevice {
public:
    virtual ~AudioDevice();

    // Opens the device for playing frames of the format. False when the device is missing
    // or refuses the format exactly: no back-end plays at a rate it was not given.
    virtual bool openOutput(const AudioFormat& format) = 0;
    // For a writer whose blocks come with jitter (sound from a network): whenever playing
    // (re)starts, at the first write and at the first write after the device ran dry, this
    // many frames of silence go ahead of the block, so that the next block may come that
    // much late; playing then starts at once. The queue after a restart is small again,
    // whatever it was before. Called before openOutput; back-ends that start at once may
    // ignore it.
    virtual void setStartLead(size_t frames) { (void)frames; }
    // Queues whole frames (bytes = frames × bytesPerFrame), blocking until the device has
    // taken them all. False when the device failed; it is closed then.
    virtual bool write(const uint8_t* data, size_t frames) = 0;

    // Opens the device for capturing frames of the format; the same refusals as
    // openOutput.
    virtual bool openInput(const AudioFormat& format) = 0;
    // Fills data with up to `frames` whole frames, blocking until they have been captured.
    // Answers the frames read: fewer than asked only where the input ends (a file), 0 once
    // it has ended, -1 when the device failed (it is closed then; errorText() says why).
    virtual long read(uint8_t* data, size_t frames) = 0;
    // How long what has been written still plays, in milliseconds. A stream that waits
    // for its start threshold is started here, so that a sound shorter than the threshold
    // is heard too. 0 when nothing is left (or the device cannot tell).
    virtual int64_t pendingMillis() = 0;
    // Output: the frames written and not yet heard (what the sound server holds included);
    // capture: the frames captured and not yet read. -1 when the back-end cannot tell. A
    // writer that must keep its delay bounded drops a block when too much is queued.
    virtual long queuedFrames() { return -1; }
    // Blocks until everything written has been played.
    virtual void drain() = 0;
    // Drops what has not been played yet and closes; harmless when not open.
    virtual void close() = 0;

    virtual bool isOpen() const = 0;
    const String& errorText() const { return errorText_; }
    int errorCode() const { return errorCode_; }

protected:
    void setError(const char* text, int code = 0);

private:
    String errorText_;
    int errorCode_ = 0;
};

// Which back-end plays the program's sound. From the environment variable
// ORVANE_AUDIO_DEVICE (ORVANE_AUDIO_INPUT for the sound that is recorded, where a file is
// a WAV file that is read, at the pace of real recording):
//   unset, empty or "alsa"  ALSA's PCM "default"
//   "alsa:NAME"             the ALSA PCM NAME
//   "file:PATH"             a WAV file at PATH, written at the pace of real playing
//   "none"                  no device: nothing is played
// Anything else is taken as "none" (and described so), rather than guessing a device.
// When ALSA cannot open, the sound is skipped: a machine without sound plays nothing.
struct AudioDeviceChoice {
    static constexpr const char* EnvironmentVariable = "ORVANE_AUDIO_DEVICE";
    static constexpr const char* InputEnvironmentVariable = "ORVANE_AUDIO_INPUT";

    enum class Kind { Alsa, File, None };
    Kind kind = Kind::Alsa;
    // The ALSA PCM name or the file's path.
    String target = "default";
    // File back-end: write at real time, as a device would take the frames.
    bool paced = true;

    static AudioDeviceChoice fromEnvironment();
    static AudioDeviceChoice inputFromEnvironment();
    static AudioDeviceChoice parse(const char* text);
    // A fresh device of this choice; NULL for Kind::None.
    std::unique_ptr<AudioDevice> create() const;
    // "alsa:default", "file:/tmp/x.wav", "none".
    String describe() const;
};

// Makes one device per sound (or per call, for capture); NULL means there is no device.
using AudioDeviceFactory = std::function<std::unique_ptr<AudioDevice>()>;

} // namespace orvane
