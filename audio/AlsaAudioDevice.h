#pragma once

#include "audio/AudioDevice.h"

// Keeps <alsa/asoundlib.h> out of every file that includes this one.
typedef struct _snd_pcm snd_pcm_t;

namespace orvane {

// An ALSA PCM in blocking mode. The stream is set up with an explicit period of
// PeriodMillis (10 ms of the format's rate, so a wake-up is never far from a block's end),
// a buffer of BufferPeriods periods and a start threshold of startPeriods periods, so that
// playing begins as soon as that much is queued instead of when the buffer is full;
// capture starts with the first read. An overrun of the capture buffer (a reader that
// came late) loses the sound that did not fit and goes on; an underrun of the output (a
// writer that came late) starts again from the start lead, as at the first write.
// ALSA's own messages on standard error are silenced: failures are reported through
// errorText().
class AlsaAudioDevice : public AudioDevice {
public:
    static constexpr int PeriodMillis = 10;
    static constexpr unsigned BufferPeriods = 24;

    // pcmName: "default", or any PCM the ALSA configuration defines. startPeriods: how
    // many periods are queued before playing starts; a writer whose frames come with
    // jitter (sound arriving from a recording or a network) asks for more than one, so
    // that a frame a little late does not run the device dry.
    explicit AlsaAudioDevice(const String& pcmName = "default", unsigned startPeriods = 1);
    ~AlsaAudioDevice() override;

    bool openOutput(const AudioFormat& format) override;
    void setStartLead(size_t frames) override { startLead_ = frames; }
    bool write(const uint8_t* data, size_t frames) override;
    bool openInput(const AudioFormat& format) override;
    long read(uint8_t* data, size_t frames) override;
    int64_t pendingMillis() override;
    long queuedFrames() override;
    void drain() override;
    void close() override;
    bool isOpen() const override { return pcm_ != nullptr; }

    // What the device settled on, valid while open.
    unsigned long periodFrames() const { return periodFrames_; }
    unsigned long bufferFrames() const { return bufferFrames_; }
    // Underruns and overruns recovered from since the device was made: sound that came
    // late or was lost.
    unsigned long xruns() const { return xruns_; }

private:
    bool open(bool capture, const AudioFormat& format);
    bool fail(const char* what, int code);
    // Output: when the stream waits to start (just opened, or run dry), writes the start
    // lead of silence, which starts it. False when the device failed.
    bool leadIn();
    bool writeLead();
    // Output with a lead: the stream has played everything written and gone quiet without
    // saying so (a sound server's stream may stop rather than report an underrun, and
    // wait for a queue of its own size before it plays again): the next write starts the
    // stream afresh, lead first. Judged by the clock: the last write's queue would have
    // been heard by now.
    // A sound server's figure of what it still holds is an estimate: only a writer later
    // than this beyond it is taken to have let the stream run dry.
    static constexpr int64_t DryMarginMicros = 20000;
    bool ranDry() const;

    String pcmName_;
    snd_pcm_t* pcm_ = nullptr;
    bool capture_ = false;
    unsigned startPeriods_;
    size_t startLead_ = 0;
    // When what the last write queued has all been heard; zero before a write.
    int64_t drainsAtMicros_ = 0;
    AudioFormat format_;
    unsigned long periodFrames_ = 0;
    unsigned long bufferFrames_ = 0;
    unsigned long xruns_ = 0;
};

// ALSA prints its configuration and open errors to standard error by default; the same
// failures reach the callers (devices, mixers) as error texts, so the library's copy is
// dropped. Once per process; any thread.
void silenceAlsaOnce();

} // namespace orvane
