#pragma once

#include "core/module/ModuleInterfaces.h"
#include "foundation/Containers.h"
#include "foundation/Thread.h"
#include "modules/video/PictureSender.h"
#include "modules/video/RemotePicture.h"
#include "modules/video/VideoImage.h"

#include <atomic>
#include <cstdint>

namespace orvane {

class VideoSessionWindow;
class VideoFrameSource;

// Exchanges camera pictures with the same thread of the contact's window over one TCP
// channel. Each side asks the other for a frame and answers the other's requests with its
// camera frame: a key frame first, then the changed runs as deltas, or "no frame". Each
// direction is stop-and-wait: one request in flight at most. What arrives is shown in the
// window, and so is what we sent, as the peer now holds it.
//
// When an answer was "no frame", the next request waits noFramePauseMs: two sides with
// nothing to show would otherwise trade requests as fast as the link turns them round.
//
// A packet whose numbers do not add up (see VideoPacket) ends the session: the peer is
// broken or hostile, and nothing of the packet is used.
//
// Threads: everything but the flags below runs on the session thread. The window writes
// the end request and the highlight from the user-interface thread and reads
// hasConnection there; the window itself is called only from the session thread (see
// VideoSessionWindow). Set the window, host, source and connection before start.
class VideoSessionThread : public Thread {
public:
    struct Settings {
        // The longest single wait for the peer's next packet; the loop checks its end
        // and stop requests at least this often.
        int receiveWaitMs = 20;
        // The pause after a "no frame" answer before the next request: half the capture
        // thread's 30 ms, so that a new frame waits at most that long and none is skipped.
        int noFramePauseMs = 15;
        // ORed into the places of each received delta while the highlight is on.
        uint32_t highlightMask = RemotePicture::DefaultHighlightMask;
    };

    // Why the session ended.
    enum class EndReason {
        None,           // not ended yet
        Ended,          // the window asked it to end, or the thread was stopped
        NoConnection,   // no channel could be opened
        ChannelClosed,  // the channel broke or the peer closed it
        MalformedPacket,// the peer sent a frame whose lengths do not add up
        Failed          // any other failure (out of memory, say)
    };

    static constexpr const char* CantConnectFormat = "Can't connect [%s] to open Video";

    VideoSessionThread();
    explicit VideoSessionThread(const Settings& settings);
    // Stops the body and waits for it; closes a channel that was handed over but never used.
    ~VideoSessionThread() override;

    void setWindow(VideoSessionWindow* window) { window_ = window; }
    // Opens the channel when none was handed over.
    void setHost(IModuleHost* host) { host_ = host; }
    // The camera; NULL (the default) answers with the peer's own picture, bracketed.
    void setFrameSource(VideoFrameSource* source) { frameSource_ = source; }
    // Hands over a channel the peer opened; the thread owns it from here and closes it.
    void setConnection(IModuleConnection* connection) { connection_.store(connection); }

    void run() override;
    bool deleteWhenDone() override { return false; }

    // From the window: ends the session at the loop's next turn. Honoured also when it
    // comes before the loop has begun.
    void endSession() { endRequested_.store(true); }
    // True while the exchange loop runs.
    bool isRunning() const { return running_.load(); }
    void setHighlight(bool on) { highlight_.store(on); }
    // True until the channel has been closed.
    bool hasConnection() const { return connection_.load() != nullptr; }
    EndReason endReason() const { return endReason_.load(); }

private:
    void loop();
    void exchange(IModuleConnection& connection);
    void closeConnection();
    // False: the packet was refused and the session must end.
    bool handlePacket(const uint8_t* bytes, int length);
    void answerRequest(IModuleConnection& connection);
    void sendFrame(IModuleConnection& connection, VideoImage& image);
    void sendRequest(IModuleConnection& connection);
    void end(EndReason reason);

    const Settings settings_;
    VideoSessionWindow* window_ = nullptr;
    IModuleHost* host_ = nullptr;
    VideoFrameSource* frameSource_ = nullptr;
    std::atomic<IModuleConnection*> connection_{nullptr};

    RemotePicture remote_;      // the peer's picture as last received
    VideoImage localImage_;     // the frame being sent
    PictureSender sender_;      // what the peer holds of our pictures
    ByteArray packet_;          // requests

    bool peerReplied_ = true;
    bool peerAsked_ = false;
    // When the next request may go, on the monotonic clock.
    int64_t nextRequestAt_ = 0;

    std::atomic<bool> endRequested_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> highlight_{false};
    std::atomic<EndReason> endReason_{EndReason::None};
};

} // namespace orvane
