#include "voice/VoiceSessionThread.h"

#include "core/app/ThreadMessages.h"
#include "core/app/UiThreadPort.h"
#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "voice/VoiceSessionNotifier.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

namespace orvane {

namespace {

void reportToStandardError(const char* text)
{
    std::fprintf(stderr, "orvane: voice session: %s\n", text);
}

VoiceSessionThread::Settings completed(VoiceSessionThread::Settings settings, UiThreadPort& port)
{
    if (!settings.report)
        settings.report = reportToStandardError;
    if (!settings.showError)
        settings.showError = settings.report;
    if (!settings.engine.report) {
        // The sound threads find the failures; the user hears of them on the user-interface
        // thread, where boxes are shown. A copy of the text travels: the thread's own is gone
        // by then.
        settings.engine.report = [&port, show = settings.showError](const char* text) {
            port.callAfter([show, copy = std::string(text ? text : "")] { show(copy.c_str()); });
        };
    }
    return settings;
}

} // namespace

EncodedFrame::EncodedFrame(const uint8_t* data, int length)
{
    bytes_.write(0, data, length);
}

EncodedFrame::~EncodedFrame() = default;

VoiceSessionThread::VoiceSessionThread(UiThreadPort& port, IModuleHost* host)
    : VoiceSessionThread(port, host, Settings())
{
}

VoiceSessionThread::VoiceSessionThread(UiThreadPort& port, IModuleHost* host, Settings settings)
    : settings_(completed(std::move(settings), port)), port_(port), host_(host), engine_(settings_.engine)
{
    initEngine();
}

VoiceSessionThread::~VoiceSessionThread()
{
    // The request first, then the wake: a pause that ends sees the request at once.
    stop(false);
    {
        std::lock_guard<std::mutex> guard(lock_);
        changed();
    }
    stop(true);
    // Whatever the thread left: its own channel, or one handed over that it never took.
    closeConnection();
    IModuleConnection* handedOver = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::swap(handedOver, handedOver_);
    }
    if (handedOver)
        handedOver->close();
    engine_.closeAll();
    clearQueue();
}

void VoiceSessionThread::initEngine()
{
    engine_.setMode(settings_.mode);
    engine_.setListener(this);
    engine_.setInputLevel(0);
    if (const std::unique_ptr<AudioCodec> codec = VoiceMode::parse(settings_.mode).createCodec())
        frameBytes_ = codec->frameBytes();
    channel_ = engine_.createChannel();
    if (channel_ < 0)
        settings_.showError(NoChannelText);
}

// ---- the user-interface thread's operations ----

void VoiceSessionThread::changed()
{
    wake_ = true;
    stateChanged_.notify_all();
}

void VoiceSessionThread::startCall(IContact* contact, unsigned call)
{
    std::lock_guard<std::mutex> guard(lock_);
    call_ = call;
    contact_ = contact;
    peerId_ = contact ? contact->getId() : "";
    state_ = Connecting;
    changed();
}

void VoiceSessionThread::startTalk(IContact* contact, IModuleConnection* connection, unsigned call)
{
    IModuleConnection* unused = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        call_ = call;
        contact_ = contact;
        peerId_ = contact ? contact->getId() : "";
        // Two hand-overs before the thread took the first: the first is never used.
        unused = handedOver_;
        handedOver_ = connection;
        state_ = Talking;
        changed();
    }
    if (unused && unused != connection)
        unused->close();
}

void VoiceSessionThread::stopSession()
{
    std::lock_guard<std::mutex> guard(lock_);
    state_ = state_ == Talking ? Idle : Stopping;
    changed();
}

void VoiceSessionThread::stopSessionOf(unsigned call)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (call_ != call)
        return;
    state_ = state_ == Talking ? Idle : Stopping;
    changed();
}

VoiceSessionThread::SessionState VoiceSessionThread::sessionState() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return state_;
}

unsigned VoiceSessionThread::call() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return call_;
}

String VoiceSessionThread::peerId() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return peerId_;
}

bool VoiceSessionThread::isCallWith(const char* userId) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return userId && (state_ == Connecting || state_ == Talking) && peerId_ == userId;
}

// ---- the recorder thread ----

void VoiceSessionThread::onEncodedFrame(int channel, const uint8_t* data, int length)
{
    if (channel != channel_ || channel_ < 0 || !data || length <= 0)
        return;
    // Between calls nothing is sent: a late frame of the last call must not open the next.
    if (sessionState() != Talking)
        return;
    auto frame = std::make_unique<EncodedFrame>(data, length);
    std::lock_guard<std::mutex> guard(queueLock_);
    while (!queue_.empty() && queue_.size() >= settings_.maxQueuedFrames) {
        queue_.pop_front();
        ++framesDropped_;
    }
    queue_.push_back(std::move(frame));
}

size_t VoiceSessionThread::queuedFrames() const
{
    std::lock_guard<std::mutex> guard(queueLock_);
    return queue_.size();
}

void VoiceSessionThread::clearQueue()
{
    std::deque<std::unique_ptr<EncodedFrame>> gone;
    std::lock_guard<std::mutex> guard(queueLock_);
    gone.swap(queue_);
}

// ---- this thread ----

void VoiceSessionThread::run()
{
    socketStartup();
    try {
        while (!stopRequested.load())
            turn();
    } catch (const ThreadStopException&) {
    } catch (const Exception&) {
        settings_.report("the session thread ended on a failure");
    } catch (const IModuleConnection::ConnectionException&) {
        settings_.report("the session thread ended on a broken channel");
    } catch (const std::exception& e) {
        settings_.report(e.what());
    }
    // A thread stopped in mid-call still leaves the devices and the channel closed.
    engine_.stopRecording();
    closeConnection();
    socketCleanup();
}

void VoiceSessionThread::turn()
{
    switch (sessionState()) {
    case Idle:
        dropStaleHandOver();
        pause(settings_.idlePauseMs);
        break;
    case Connecting:
        connect();
        // The channel is open and the peer is sending already: talk at once, so that no
        // backlog of its frames piles up before the first is played.
        if (sessionState() != Talking)
            pause(settings_.turnPauseMs);
        break;
    case Talking:
        talk();
        pause(settings_.turnPauseMs);
        break;
    case Stopping: {
        std::unique_lock<std::mutex> guard(lock_);
        if (state_ == Stopping)
            state_ = Idle;
        guard.unlock();
        dropStaleHandOver();
        pause(settings_.turnPauseMs);
        break;
    }
    }
}

void VoiceSessionThread::pause(int ms)
{
    std::unique_lock<std::mutex> guard(lock_);
    stateChanged_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return wake_; });
    wake_ = false;
}

void VoiceSessionThread::connect()
{
    IContact* contact = nullptr;
    String peer;
    unsigned call = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        contact = contact_;
        peer = peerId_;
        call = call_;
    }
    if (!contact || !contact->isOnline()) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (state_ == Connecting && call_ == call)
                state_ = Idle;
        }
        port_.post(ThreadMessage::VoiceFailed, static_cast<intptr_t>(call), 0);
        return;
    }
    IModuleHost* host = host_.load();
    IModuleConnection* opened = host ? host->openUdpConnection(peer.c_str()) : nullptr;
    bool current = false;
    {
        // Talking even when a stop came while the channel was being set up: the bar
        // answers the start below by ending the call, which stops the talk loop. A newer
        // call that began meanwhile keeps its state, and this channel is not used.
        std::lock_guard<std::mutex> guard(lock_);
        current = call_ == call;
        if (current)
            state_ = opened ? Talking : Stopping;
    }
    if (opened && current) {
        closeConnection();
        connection_ = opened;
    } else if (opened) {
        opened->close();
    }
    port_.post(opened ? ThreadMessage::VoiceStarted : ThreadMessage::VoiceFailed, static_cast<intptr_t>(call), 0);
    if (settings_.showOnlineStatus)
        settings_.showOnlineStatus();
}

void VoiceSessionThread::adoptHandedOver()
{
    IModuleConnection* next = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::swap(next, handedOver_);
    }
    if (!next)
        return;
    closeConnection();
    connection_ = next;
}

void VoiceSessionThread::dropStaleHandOver()
{
    IModuleConnection* stale = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (state_ == Talking)
            return;
        std::swap(stale, handedOver_);
    }
    if (stale)
        stale->close();
}

void VoiceSessionThread::closeConnection()
{
    if (!connection_)
        return;
    IModuleConnection* connection = connection_;
    connection_ = nullptr;
    connection->close();
}

void VoiceSessionThread::talk()
{
    adoptHandedOver();
    const unsigned running = call();
    if (!connection_) {
        // Talking with no channel to talk over: nothing can start.
        std::lock_guard<std::mutex> guard(lock_);
        if (state_ == Talking && !handedOver_)
            state_ = Idle;
        return;
    }
    VoiceSessionNotifier* notifier = notifier_.load();
    if (notifier)
        notifier->notifyStarted(running);
    engine_.startRecording();
    nextLevels_ = monotonicMillis() + settings_.levelIntervalMs;

    const bool closed = !talkOver(running);

    {
        std::lock_guard<std::mutex> guard(lock_);
        // A closed channel ends the call here; a channel handed over meanwhile starts
        // the next talk loop instead.
        if (closed && state_ == Talking && !handedOver_)
            state_ = Idle;
    }
    engine_.stopRecording();
    closeConnection();
    clearQueue();
    if (notifier)
        notifier->notifyEnded(running);
}

bool VoiceSessionThread::talkOver(unsigned call)
{
    for (;;) {
        {
            // Another call's channel is not this loop's: the next loop takes it.
            std::lock_guard<std::mutex> guard(lock_);
            if (state_ != Talking || call_ != call)
                return true;
        }
        adoptHandedOver();
        if (stopRequested.load())
            throw ThreadStopException();
        ++talkTurns_;
        try {
            const int length = connection_->receive(settings_.receiveWaitMs);
            // A closed datagram channel answers at once, for ever: the call is over.
            if (length < 0)
                return false;
            if (length > 0)
                receiveWaiting();
            sendQueued();
        } catch (const TimeoutException&) {
        } catch (const IModuleConnection::ConnectionException&) {
            // A broken stream channel stays broken.
            return false;
        }
        reportLevels();
    }
}

void VoiceSessionThread::takeReceived(std::deque<std::vector<uint8_t>>& burst)
{
    const int length = connection_->size();
    const uint8_t* data = connection_->data();
    // One datagram is one frame: anything else is not ours to decode.
    if (!data || length <= 0 || (frameBytes_ > 0 && length != frameBytes_)) {
        ++datagramsRefused_;
        return;
    }
    burst.emplace_back(data, data + length);
    while (burst.size() > settings_.maxBurstFrames) {
        burst.pop_front();
        ++framesSkipped_;
    }
}

void VoiceSessionThread::receiveWaiting()
{
    // The channel's own queue is bounded, so is this look behind the frame just received.
    constexpr int MostLooked = 300;
    std::deque<std::vector<uint8_t>> burst;
    takeReceived(burst);
    for (int looked = 0; looked < MostLooked && connection_->receive(0) > 0; ++looked)
        takeReceived(burst);
    for (const std::vector<uint8_t>& frame : burst) {
        engine_.play(channel_, frame.data(), static_cast<int>(frame.size()));
        ++framesPlayed_;
    }
}

void VoiceSessionThread::sendQueued()
{
    // Taken out whole, so the recorder never waits for the sends.
    std::deque<std::unique_ptr<EncodedFrame>> sending;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        sending.swap(queue_);
    }
    for (const auto& frame : sending) {
        try {
            connection_->send(frame->data(), frame->length());
            ++framesSent_;
        } catch (const Exception&) {
            // That frame is lost; the next may go.
        }
    }
}

void VoiceSessionThread::reportLevels()
{
    const int64_t now = monotonicMillis();
    if (now < nextLevels_)
        return;
    nextLevels_ = now + settings_.levelIntervalMs;
    if (VoiceSessionNotifier* notifier = notifier_.load()) {
        notifier->notifyOutputLevel(0, engine_.channelLevel(channel_));
        notifier->notifyInputLevel(0, engine_.inputLevel());
    }
}

} // namespace orvane
