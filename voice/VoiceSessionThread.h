#pragma once

#include "core/module/ModuleInterfaces.h"
#include "foundation/Containers.h"
#include "foundation/String.h"
#include "foundation/Thread.h"
#include "voice/VoiceEngine.h"
#include "voice/VoiceEngineListener.h"
#include "voice/VoiceMode.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orvane {

class UiThreadPort;
class VoiceSessionNotifier;

// One encoded microphone frame waiting to be sent: a copy of the engine's bytes.
class EncodedFrame {
public:
    EncodedFrame(const uint8_t* data, int length);
    virtual ~EncodedFrame();
    EncodedFrame(const EncodedFrame&) = delete;
    EncodedFrame& operator=(const EncodedFrame&) = delete;

    const uint8_t* data() const { return bytes_.data(); }
    int length() const { return bytes_.count(); }

private:
    ByteArray bytes_;
};

// The audio of one call. The thread owns a voice engine with one playback channel; while
// the call lasts it runs the talk loop over the call's datagram channel: each datagram
// received is one codec frame, decoded and played in the order of arrival (no jitter
// buffer, no sequence numbers), and each frame the engine encodes from the microphone goes
// out as one datagram. Every levelIntervalMs the input and output levels go to the notifier.
//
// The caller's side opens the channel itself (startCall, then Connecting); the callee's
// side is handed the channel the peer opened (startTalk). stopSession ends the call. The
// call bar owns one such thread for the life of the main window: it builds it, sets the
// notifier, then init() and start(); at the end stop(true) and delete.
//
// Datagrams whose payload is not exactly one frame of the codec are dropped before the
// decoder sees them. A channel that closes (the peer went away, the manager shut down)
// ends the talk loop as a stop would: the notifier hears notifyEnded and the thread goes
// back to Idle, rather than turning on a channel that answers "closed" at once for ever.
// A channel handed over while a call is Talking replaces the old one, which is closed.
// Microphone frames are queued only while Talking, and those still queued when a call ends
// are dropped: no sound of one call ever reaches the peer of the next.
//
// The module numbers its calls and gives the number with startCall and startTalk; every
// report of a start, an end or a failure carries the number of the call it concerns (as
// wParam), because the end of one call may reach the user-interface thread after the
// next call was accepted. A call with a new number ends the talk loop of the old one.
//
// Threads: the user-interface thread calls startCall, startTalk, stopSession and stop;
// this thread runs the loop; the engine's recorder thread calls onEncodedFrame. The
// session's state, its peer and a handed-over channel are guarded by one lock, so that a
// stop and a hand-over never cross half-done; the frame queue has a lock of its own, which
// the recorder holds only to append. The thread uses its channel alone.
class VoiceSessionThread : public Thread, public VoiceEngineListener {
public:
    enum SessionState {
        Idle = 0,       // no call; the thread polls
        Connecting = 1, // the caller's thread is to open the channel to the peer
        Talking = 2,    // the talk loop runs
        Stopping = 3,   // a stop came outside Talking; Idle at the next turn
    };

    static constexpr const char* NoChannelText = "Voice Engine failed to create channel.";

    struct Settings {
        // The engine's sound devices and its reporter. By default the reporter's texts
        // (a device that cannot be opened or that fails) reach the user through showError,
        // on the user-interface thread.
        VoiceEngine::Settings engine;
        // iLBC in 30 ms frames at 8000 Hz, 16-bit: the only mode the program selects.
        uint8_t mode = VoiceMode::Default;
        // The longest wait for one received frame: the talk loop turns at least this often,
        // and a microphone frame waits at most this long to be sent. Every millisecond of
        // that wait is jitter at the peer's speaker, whose queue must allow for it.
        int receiveWaitMs = 5;
        int levelIntervalMs = 40;
        // The pause between turns while Idle, and after the other states' turns. A change
        // of state (startCall, startTalk, stopSession) ends a pause early.
        int idlePauseMs = 300;
        int turnPauseMs = 200;
        // Frames waiting to be sent beyond this drop the oldest (30 s in the mode used).
        size_t maxQueuedFrames = 1000;
        // Received frames that have piled up (the peer started before this side read, or
        // this thread came late) are played only this many, the newest: the older ones
        // would only make the call late for good (framesSkipped).
        size_t maxBurstFrames = 2;
        // Shows an error to the user, always on the user-interface thread: the playback
        // channel could not be made (at construction), a sound device failed (posted).
        // Default: the reporter.
        std::function<void(const char*)> showError;
        // Puts "Online." or "Offline." in the status text after a connect (any thread).
        std::function<void()> showOnlineStatus;
        // Told when an unexpected failure ends the thread; default: one line on standard
        // error.
        std::function<void(const char*)> report;
    };

    // `port` carries the connect's outcome to the user-interface thread; `host` is the
    // voice module's host, which opens the caller's channel. Builds the engine, selects
    // the mode and makes the playback channel (see NoChannelText).
    VoiceSessionThread(UiThreadPort& port, IModuleHost* host);
    VoiceSessionThread(UiThreadPort& port, IModuleHost* host, Settings settings);
    // Stops the thread and waits for it, closes any channel still held, closes the engine
    // and drops the frames still queued.
    ~VoiceSessionThread() override;

    // Set before start(); NULL: no reports through it.
    void setNotifier(VoiceSessionNotifier* notifier) { notifier_.store(notifier); }

    // Caller's side, once the peer accepted: the thread opens the channel to the contact.
    // The thread asks the record whether the contact is online, so the record must stay
    // until the call is stopped (the module stops it when the user signs out).
    void startCall(IContact* contact, unsigned call = 0);
    // The host the caller's side opens its channel through, when it was not known at
    // construction.
    void setHost(IModuleHost* host) { host_.store(host); }
    // Callee's side, when the peer's channel arrives: the thread takes the channel over
    // (and closes it in the end) and talks over it.
    void startTalk(IContact* contact, IModuleConnection* connection, unsigned call = 0);
    // Ends the call: Idle when Talking (the loop ends at its next turn), otherwise Stopping.
    void stopSession();
    // Ends the call only while the thread still runs that call (the report of its start
    // came late, when the user had moved on).
    void stopSessionOf(unsigned call);

    void run() override;
    bool deleteWhenDone() override { return false; }
    // The recorder thread: one encoded frame for `channel`.
    void onEncodedFrame(int channel, const uint8_t* data, int length) override;

    SessionState sessionState() const;
    // The peer of the current or last call: its user id as given by startCall or startTalk
    // ("" before the first). The voice module compares a record's sender with it.
    String peerId() const;
    // The number of the call the thread runs or ran last.
    unsigned call() const;
    // True when userId names the peer of a call that is Connecting or Talking.
    bool isCallWith(const char* userId) const;

    // The engine's playback channel, -1 when none could be made.
    int channel() const { return channel_; }
    VoiceEngine& engine() { return engine_; }

    // Counters, for tests and measurements.
    uint64_t talkTurns() const { return talkTurns_.load(); }
    uint64_t framesSent() const { return framesSent_.load(); }
    // Received frames handed to the engine.
    uint64_t framesPlayed() const { return framesPlayed_.load(); }
    // Received datagrams that were not one frame of the codec.
    uint64_t datagramsRefused() const { return datagramsRefused_.load(); }
    // Frames dropped from the full send queue.
    uint64_t framesDropped() const { return framesDropped_.load(); }
    // Received frames skipped because newer ones were waiting behind them.
    uint64_t framesSkipped() const { return framesSkipped_.load(); }
    size_t queuedFrames() const;

private:
    void initEngine();
    void turn();
    void connect();
    void talk();
    // The talk loop over connection_ for the call; false when the channel closed.
    bool talkOver(unsigned call);
    // Plays what has arrived: the frame just received and whatever already waits behind
    // it, of which only the newest maxBurstFrames.
    void receiveWaiting();
    // Copies the received frame into the burst when it is one frame of the codec.
    void takeReceived(std::deque<std::vector<uint8_t>>& burst);
    void sendQueued();
    void reportLevels();
    // Takes a channel handed over by startTalk while Talking; the one in use is closed.
    void adoptHandedOver();
    // Closes a handed-over channel that no call will use (the call stopped first).
    void dropStaleHandOver();
    void closeConnection();
    void clearQueue();
    void pause(int ms);
    // Under lock_: the state changed; wakes a pause.
    void changed();

    const Settings settings_;
    UiThreadPort& port_;
    // Set at construction or later: the call bar starts the thread with the main window,
    // which may come before the module is given its host.
    std::atomic<IModuleHost*> host_;
    std::atomic<VoiceSessionNotifier*> notifier_{nullptr};

    // Guards state_, call_, contact_, peerId_, handedOver_ and wake_.
    mutable std::mutex lock_;
    std::condition_variable stateChanged_;
    SessionState state_ = Idle;
    // The call that state_, contact_ and a handed-over channel belong to.
    unsigned call_ = 0;
    IContact* contact_ = nullptr;
    String peerId_;
    IModuleConnection* handedOver_ = nullptr;
    bool wake_ = false;

    // This thread's own: the channel of the call in progress.
    IModuleConnection* connection_ = nullptr;
    // The size of one codec frame; 0 when the codec takes any length.
    int frameBytes_ = 0;
    int64_t nextLevels_ = 0;

    // Guards queue_.
    mutable std::mutex queueLock_;
    std::deque<std::unique_ptr<EncodedFrame>> queue_;

    std::atomic<uint64_t> talkTurns_{0};
    std::atomic<uint64_t> framesSent_{0};
    std::atomic<uint64_t> framesPlayed_{0};
    std::atomic<uint64_t> datagramsRefused_{0};
    std::atomic<uint64_t> framesDropped_{0};
    std::atomic<uint64_t> framesSkipped_{0};

    // Declared last: its recorder thread calls onEncodedFrame, so it goes first.
    VoiceEngine engine_;
    int channel_ = -1;
};

} // namespace orvane
