#pragma once

#include "audio/AudioDevice.h"
#include "voice/AudioCodec.h"
#include "voice/SoundPlayer.h"
#include "voice/SoundRecorder.h"
#include "voice/VoiceEngineListener.h"
#include "voice/VoiceMode.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace orvane {

// Microphone to encoded frames, encoded frames to speakers. The engine owns the recorder
// thread, up to six playback channels (each with its player thread) and the codec that a
// mode byte names. It knows nothing of calls: frames leave through the listener (on the
// recorder thread) and come in through play (on the caller's thread, one caller).
//
// Encoding and decoding each have a codec object of their own, so that they never share
// state, whatever the mode: the recorder thread encodes while the session thread decodes.
//
// Threads: setMode, createChannel and closeAll are for start-up and shutdown; play is
// called by one thread; the levels may be read from any thread.
class VoiceEngine {
public:
    static constexpr int MaxChannels = 6;
    // Frames arrive at the players with the jitter of the recording and the network, and
    // now and then in a burst. Whenever an output (re)starts, this much silence goes ahead
    // of the first frame, so a frame may come that late without a gap; and a frame that
    // finds more than OutputMaxQueuedMillis still queued is dropped, so that a burst never
    // adds to the delay for the rest of the call. A steady stream finds about the lead still
    // queued when its next frame comes (the last frame has just played out), so the bound
    // lies between that and a frame above it: a frame's worth of backlog goes at once, and
    // only a frame later than the sender's jitter allows is ever trimmed.
    static constexpr int OutputLeadMillis = 20;
    static constexpr int OutputMaxQueuedMillis = 35;

    struct Settings {
        // The capture device of each recording, and the output device of each channel. By
        // default ORVANE_AUDIO_INPUT and ORVANE_AUDIO_DEVICE choose.
        AudioDeviceFactory input;
        AudioDeviceFactory output;
        // Told when a sound device cannot be opened or fails, with the device's reason;
        // by default one line on standard error.
        std::function<void(const char* text)> report;
        // The output's pacing (SoundPlayer::setPacing).
        int outputLeadMillis = OutputLeadMillis;
        int outputMaxQueuedMillis = OutputMaxQueuedMillis;
    };

    VoiceEngine();
    explicit VoiceEngine(Settings settings);
    // closeAll.
    ~VoiceEngine();
    VoiceEngine(const VoiceEngine&) = delete;
    VoiceEngine& operator=(const VoiceEngine&) = delete;

    // Replaces the codec and the format by the mode's; the recorder and channels made
    // afterwards take the new format at their next open.
    void setMode(uint8_t mode);
    void setListener(VoiceEngineListener* listener) { listener_.store(listener); }
    // A new playback channel with its device opened; its index, or -1 when six exist.
    int createChannel();
    void startRecording();
    void stopRecording();
    // Decodes one received frame and queues it on the channel; an index without a channel
    // and a frame the codec refuses (the wrong size) are dropped.
    void play(int channel, const uint8_t* data, int length);

    int inputLevel() const { return inputLevel_.load(); }
    void setInputLevel(int level) { inputLevel_.store(level); }
    // The level of the channel's last frame; -1 for an index without a channel.
    int channelLevel(int channel) const;
    // Stops recording and ends the recorder thread, ends every channel, drops the codec.
    void closeAll();

    int bitsPerSample() const;
    int sampleRate() const;
    int samplesPerFrame() const;
    // The number of channel slots (free ones included).
    int channelCount() const { return slots_.load(); }
    SoundRecorder& recorder() { return recorder_; }
    // The channel's player, or NULL.
    SoundPlayer* player(int channel);

private:
    struct VoiceChannel {
        VoiceChannel(const Settings& settings);
        SoundPlayer player;
        std::atomic<int> level{0};
    };

    // The recorder listener: each filled buffer becomes a frame.
    class Recorded : public SoundListener {
    public:
        explicit Recorded(VoiceEngine& engine) : engine_(engine) {}
        void onData(const void* data, int length) override { engine_.onRecorded(data, length); }

    private:
        VoiceEngine& engine_;
    };

    void onRecorded(const void* data, int length);
    // The channel at the index, or NULL; under lock_.
    VoiceChannel* channelAt(int channel) const;
    std::shared_ptr<AudioCodec> encoder() const;

    Settings settings_;
    std::atomic<VoiceEngineListener*> listener_{nullptr};
    // Guards channels_, the codecs and the format fields.
    mutable std::mutex lock_;
    std::array<std::unique_ptr<VoiceChannel>, MaxChannels> channels_;
    std::atomic<int> slots_{0};
    std::shared_ptr<AudioCodec> encoder_;
    std::shared_ptr<AudioCodec> decoder_;
    int bitsPerSample_ = 0;
    int sampleRate_ = 0;
    int samplesPerFrame_ = 0;
    std::atomic<int> inputLevel_{0};
    SoundListener playerListener_;
    Recorded recordedListener_{*this};
    // The recorder thread's own: the frame it encodes into.
    ByteArray encoded_{1000};
    // The playing thread's own: what it decodes into.
    ByteArray decodedBytes_{1000};
    SampleArray decodedSamples_{1000};
    // Declared last: its thread starts when everything it reaches is built, and it is
    // the first to go.
    SoundRecorder recorder_;
};

} // namespace orvane
