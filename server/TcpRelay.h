#pragma once

#include "core/channels/Packet.h"
#include "server/LimitedLog.h"
#include "server/RelaySessions.h"
#include "server/ServerFace.h"
#include "server/ServerSettings.h"

#include <cstdint>
#include <unordered_map>

namespace orvane {

class TcpRelay;

// One connection to the TCP relay. It first sends its join frame, a peer-link frame
// (core/channels/Packet.h: '&', the body's length in 32 bits, the compressed flag, then
// the body) whose body is <message command="JOIN_TCP_CHANNEL" session_id="ID"/>; the relay
// answers at once with <message response="SUCCESS"/> (or "FAILED", and closes) in the same
// framing. From then on the relay passes the bytes between the two sides of the session
// unchanged, both ways; an end of one side's stream reaches the other as a half-close.
//
// Each direction goes through a pipe with splice(2): the bytes move from socket to socket
// inside the kernel and never through the relay's memory. A side's pipe also holds what it
// sends before the other side joins. When the pipe is full the relay reads no more from
// that side, so a fast sender is held back by TCP's own flow control, never by dropping.
//
// On the relay loop's thread only.
class TcpRelayConnection : public FaceConnection, private FrameSource {
public:
    // The join frame is a few dozen bytes; this is far more than any needs.
    static constexpr int MaxJoinFrame = 4096;

    TcpRelayConnection(TcpRelay& relay, int fd, const SocketAddress& peer);
    ~TcpRelayConnection() override;

    // The session a first frame joins: the session_id of a JOIN_TCP_CHANNEL (any case) that
    // parsed, as a decimal within 31 bits; 0 when the frame is no such join.
    static int32_t joinedSession(const XmlNode& record, bool parsed);

    void onReady(uint32_t events) override;
    void onWaitedTooLong() override;

private:
    friend class TcpRelay;

    void onClosing() override;
    // The join reader's source: what the socket has now, never waiting.
    int receive(void* buffer, int length, int timeoutMs) override;

    void readJoin();
    // The pipe for what this side sends; false when the system gives none.
    bool openPipe(int holdBytes);
    void closePipe();
    // Queues the answer to the join and writes what the socket takes; false when the
    // connection failed.
    bool answer(bool success);
    bool flushAnswer();
    // Moves this side's bytes towards its partner: into the pipe and from the pipe on,
    // until neither way moves or the turn's share is used. False when the pair failed.
    bool pump();
    bool wantsInput() const;
    // This side's stream has ended and all of it reached the partner, end included.
    bool deliveredAll() const;
    void updateInterest();

    TcpRelay& relay_;
    Packet joinReader_;
    int32_t sessionId_ = 0;
    bool joined_ = false;
    TcpRelayConnection* partner_ = nullptr;
    // What this side sent and its partner has not yet taken: pipe_[1] in, pipe_[0] out.
    int pipe_[2] = {-1, -1};
    int pipeCapacity_ = 0;
    int piped_ = 0;
    // The pipe took nothing although it held less than its capacity: its slots are used
    // up by small pieces. Reading waits until the partner takes some.
    bool pipeStalled_ = false;
    bool inputEnded_ = false;
    // Writing to this side was shut (its partner's stream ended).
    bool outputShut_ = false;
    // The partner's pipe has bytes for this side that wait for its socket to take more
    // (it was full, or the last turn's share was used up).
    bool awaitsWritable_ = false;
    String answer_;
    int answerSent_ = 0;
    // Bytes this side sent that reached its partner.
    uint64_t relayed_ = 0;
};

// The TCP half of the channel relay: a face of its own on the relay's loop. Connections
// that have not sent their join frame wait in the face's room (relayJoinFrameTimeoutMs);
// a first side waits for the second as long as the session lets it; a pair lives until both
// streams have ended, or either side fails, and then both close and the session ends.
class TcpRelay : public ServerFace {
public:
    // The workers are the face's for work off the loop; the relay gives them none.
    TcpRelay(EventLoop& loop, WorkQueue& workers, RelaySessions& sessions, const ServerSettings& settings,
             int maxConnections);
    ~TcpRelay() override;

    // The session ended before its second side joined: the first, if it is here, closes.
    void onExpired(int32_t id);

    int pairCount() const { return pairs_; }
    int waitingSideCount() const { return static_cast<int>(waiting_.size()); }

private:
    friend class TcpRelayConnection;

    std::unique_ptr<FaceConnection> makeConnection(int fd, const SocketAddress& peer) override;
    void join(TcpRelayConnection& side, int32_t id);
    void refuse(TcpRelayConnection& side, const char* why);
    // The side has closed: its session ends, and its partner, if any, closes too.
    void leave(TcpRelayConnection& side);
    // Closes a pair whose streams have both ended, or one side of which failed.
    void endPair(TcpRelayConnection& side, const char* why);

    RelaySessions& sessions_;
    const ServerSettings& settings_;
    // First sides waiting for their partner, by session.
    std::unordered_map<int32_t, TcpRelayConnection*> waiting_;
    int pairs_ = 0;
    LimitedLog refusals_;
    LimitedLog events_;
};

} // namespace orvane
