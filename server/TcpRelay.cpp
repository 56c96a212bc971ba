#include "server/TcpRelay.h"

#include "core/FrameCodec.h"
#include "foundation/XmlNode.h"
#include "server/ServerFrames.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

namespace {

// What one side may move in one turn of the loop before the other pairs get theirs.
constexpr int64_t BytesPerTurn = 4 * 1024 * 1024;

// The answer to a join: one peer-link frame, never compressed.
String joinAnswer(bool success)
{
    XmlNode body("message");
    body.addChild("response", success ? "SUCCESS" : "FAILED");
    const String text = body.toCompactString(true);
    uint8_t header[Packet::HeaderSize];
    header[0] = Packet::Magic;
    putBigEndian(header + 1, static_cast<uint32_t>(text.length()), 4);
    header[5] = 0;
    String frame(reinterpret_cast<const char*>(header), Packet::HeaderSize);
    frame += text;
    return frame;
}

int socketError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

} // namespace

// ---- TcpRelayConnection ---------------------------------------------------------------------

TcpRelayConnection::TcpRelayConnection(TcpRelay& relay, int fd, const SocketAddress& peer)
    : FaceConnection(relay, fd, peer), relay_(relay), joinReader_(0)
{
    joinReader_.maxBodyLength = MaxJoinFrame;
    joinReader_.setSource(this);
    // A relayed channel may carry voice or small interactive units: the relay must not hold
    // a small write back to fill a segment.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TcpRelayConnection::~TcpRelayConnection()
{
    closePipe();
}

void TcpRelayConnection::closePipe()
{
    for (int& end : pipe_)
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    piped_ = 0;
}

int TcpRelayConnection::receive(void* buffer, int length, int)
{
    for (;;) {
        const ssize_t n = ::recv(socket(), buffer, static_cast<size_t>(length), MSG_DONTWAIT);
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0)
            throw NoConnectionException();
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        throw SocketException();
    }
}

void TcpRelayConnection::onWaitedTooLong()
{
    relay_.logTimeOut("relay %s: closed: no join frame within %d ms", peerText().c_str(),
                      relay_.settings_.relayJoinFrameTimeoutMs);
    close();
}

void TcpRelayConnection::onClosing()
{
    if (joined_)
        relay_.leave(*this);
    closePipe();
}

void TcpRelayConnection::readJoin()
{
    XmlNode record;
    bool parsed = false;
    try {
        parsed = joinReader_.read(record);
    } catch (const TimeoutException&) {
        return; // the rest of the frame comes later
    } catch (const Packet::FormatException&) {
        relay_.refuse(*this, "not a join frame, or one longer than 4096 bytes");
        return;
    } catch (const Exception&) {
        close(); // it left before it joined
        return;
    }
    const int32_t id = joinedSession(record, parsed);
    if (id == 0) {
        relay_.refuse(*this, "a first frame that is not a join with a session id");
        return;
    }
    relay_.join(*this, id);
}

int32_t TcpRelayConnection::joinedSession(const XmlNode& record, bool parsed)
{
    String command = record.childOrEmpty("command")->value;
    command.toUpper();
    uint64_t id = 0;
    if (!parsed || command != "JOIN_TCP_CHANNEL" ||
        !readDecimal(record.childOrEmpty("session_id")->value.c_str(), INT32_MAX, id))
        return 0;
    return static_cast<int32_t>(id);
}

bool TcpRelayConnection::openPipe(int holdBytes)
{
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    // Larger pipes move more per system call. The system may refuse the size (a user's
    // pipes are capped in all); the pipe then holds what it holds by default.
    ::fcntl(pipe_[1], F_SETPIPE_SZ, holdBytes);
    pipeCapacity_ = ::fcntl(pipe_[1], F_GETPIPE_SZ);
    if (pipeCapacity_ <= 0)
        pipeCapacity_ = 64 * 1024;
    return true;
}

bool TcpRelayConnection::answer(bool success)
{
    answer_ = joinAnswer(success);
    answerSent_ = 0;
    return flushAnswer();
}

bool TcpRelayConnection::flushAnswer()
{
    bool blocked = false;
    return writeSome(reinterpret_cast<const uint8_t*>(answer_.data()), answer_.length(), answerSent_, blocked);
}

bool TcpRelayConnection::wantsInput() const
{
    return !inputEnded_ && (piped_ == 0 || (!pipeStalled_ && piped_ < pipeCapacity_));
}

bool TcpRelayConnection::pump()
{
    int64_t budget = BytesPerTurn;
    for (;;) {
        bool moved = false;
        TcpRelayConnection* to = partner_;
        if (to && piped_ > 0 && to->answerSent_ == to->answer_.length()) {
            const ssize_t n = ::splice(pipe_[0], nullptr, to->socket(), nullptr, static_cast<size_t>(piped_),
                                       SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (n > 0) {
                piped_ -= static_cast<int>(n);
                relayed_ += static_cast<uint64_t>(n);
                budget -= n;
                pipeStalled_ = false;
                to->awaitsWritable_ = false;
                moved = true;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                to->awaitsWritable_ = true;
            } else if (n < 0 && errno != EINTR) {
                relay_.endPair(*this, std::strerror(errno));
                return false;
            }
        }
        if (wantsInput()) {
            const ssize_t n = ::splice(socket(), nullptr, pipe_[1], nullptr,
                                       static_cast<size_t>(pipeCapacity_ - piped_), SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (n > 0) {
                piped_ += static_cast<int>(n);
                budget -= n;
                moved = true;
            } else if (n == 0) {
                inputEnded_ = true;
                moved = true;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // Either the socket has nothing or the pipe has no free slot; with bytes in
                // the pipe it cannot be told which, so reading waits for the pipe to drain
                // rather than be asked again at once.
                pipeStalled_ = piped_ > 0;
            } else if (errno != EINTR) {
                relay_.endPair(*this, std::strerror(errno));
                return false;
            }
        }
        if (!moved)
            break;
        if (budget <= 0) {
            // The rest waits for the next round: the partner's writability brings it back
            // to the pipe, and this side's readiness to its socket.
            if (to && piped_ > 0)
                to->awaitsWritable_ = true;
            break;
        }
    }
    if (inputEnded_ && piped_ == 0 && partner_ && !partner_->outputShut_ &&
        partner_->answerSent_ == partner_->answer_.length()) {
        ::shutdown(partner_->socket(), SHUT_WR);
        partner_->outputShut_ = true;
    }
    return true;
}

bool TcpRelayConnection::deliveredAll() const
{
    return inputEnded_ && piped_ == 0 && partner_ && partner_->outputShut_;
}

void TcpRelayConnection::updateInterest()
{
    uint32_t events = 0;
    if (!joined_) {
        events = EPOLLIN;
    } else {
        if (wantsInput())
            events |= EPOLLIN;
        if (awaitsWritable_ || answerSent_ < answer_.length())
            events |= EPOLLOUT;
    }
    // A side with nothing to do for now, whose hang-up is already there, must not have it
    // reported every round: edge-triggered, errors and hang-ups come once.
    setInterest(events ? events : EPOLLET);
}

void TcpRelayConnection::onReady(uint32_t events)
{
    if (!joined_) {
        readJoin();
        return;
    }
    if (events & EPOLLERR) {
        relay_.endPair(*this, std::strerror(socketError(socket())));
        return;
    }
    if (events & EPOLLOUT) {
        if (!flushAnswer()) {
            relay_.endPair(*this, std::strerror(errno));
            return;
        }
        awaitsWritable_ = false;
        if (partner_ && !partner_->pump())
            return;
    }
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLRDHUP)) && !pump())
        return;
    TcpRelayConnection* partner = partner_;
    if (partner && deliveredAll() && partner->deliveredAll()) {
        relay_.endPair(*this, nullptr);
        return;
    }
    updateInterest();
    if (partner)
        partner->updateInterest();
}

// ---- TcpRelay -------------------------------------------------------------------------------

TcpRelay::TcpRelay(EventLoop& loop, WorkQueue& workers, RelaySessions& sessions, const ServerSettings& settings,
                   int maxConnections)
    : ServerFace(loop, workers, "relay", "have not sent their join frame",
                 Limits(maxConnections, settings.maxWaitingPerAddress, settings.relayJoinFrameTimeoutMs)),
      sessions_(sessions),
      settings_(settings),
      refusals_(loop, "relay: joins refused", 5),
      events_(loop, "relay: session events", 20)
{
}

TcpRelay::~TcpRelay()
{
    closeAll();
}

std::unique_ptr<FaceConnection> TcpRelay::makeConnection(int fd, const SocketAddress& peer)
{
    return std::unique_ptr<FaceConnection>(new TcpRelayConnection(*this, fd, peer));
}

void TcpRelay::refuse(TcpRelayConnection& side, const char* why)
{
    refusals_.log("relay %s: join refused: %s", side.peerText().c_str(), why);
    // The answer is a few dozen bytes on a connection that has sent only its join frame:
    // the socket takes it whole, and the close that follows reaches the client after it.
    side.answer(false);
    side.close();
}

void TcpRelay::join(TcpRelayConnection& side, int32_t id)
{
    if (!side.openPipe(settings_.relayHoldBytes)) {
        refuse(side, "no descriptors left for its pipe");
        return;
    }
    const RelaySessions::JoinResult result = sessions_.joinTcp(id);
    switch (result) {
    case RelaySessions::NoSuchSession:
        return refuse(side, "no session has this id");
    case RelaySessions::NotTcp:
        return refuse(side, "the session is a UDP one");
    case RelaySessions::BothJoined:
        return refuse(side, "both sides of the session have joined");
    case RelaySessions::JoinedFirst:
    case RelaySessions::JoinedSecond:
        break;
    }
    side.sessionId_ = id;
    side.joined_ = true;
    side.stopWaiting();
    TcpRelayConnection* first = nullptr;
    if (result == RelaySessions::JoinedSecond) {
        auto it = waiting_.find(id);
        if (it != waiting_.end()) {
            first = it->second;
            waiting_.erase(it);
        }
    }
    if (result == RelaySessions::JoinedFirst) {
        waiting_[id] = &side;
        events_.log("relay %s: joined session %d; waits for the other side", side.peerText().c_str(), id);
    } else if (first) {
        first->partner_ = &side;
        side.partner_ = first;
        ++pairs_;
        events_.log("relay %s: joined session %d; relaying between it and %s", side.peerText().c_str(), id,
                    first->peerText().c_str());
    }
    if (!side.answer(true)) {
        endPair(side, std::strerror(errno));
        return;
    }
    if (result == RelaySessions::JoinedSecond && !first) {
        // A first side that leaves ends its session, so this cannot be; if it were, the
        // second would wait for nobody.
        endPair(side, "the first side is gone");
        return;
    }
    // What the first side sent meanwhile flows now, then what this side sent after its
    // join frame.
    if (first && !first->pump())
        return;
    side.onReady(EPOLLIN);
}

void TcpRelay::leave(TcpRelayConnection& side)
{
    auto it = waiting_.find(side.sessionId_);
    if (it != waiting_.end() && it->second == &side)
        waiting_.erase(it);
    sessions_.close(side.sessionId_);
    side.joined_ = false;
    if (TcpRelayConnection* partner = side.partner_) {
        side.partner_ = nullptr;
        partner->partner_ = nullptr;
        --pairs_;
        partner->close();
    }
}

void TcpRelay::endPair(TcpRelayConnection& side, const char* why)
{
    TcpRelayConnection* partner = side.partner_;
    const uint64_t there = side.relayed_;
    const uint64_t back = partner ? partner->relayed_ : 0;
    if (why)
        events_.log("relay %s: session %d ended: %s (%llu bytes relayed from it, %llu to it)",
                    side.peerText().c_str(), side.sessionId_, why, static_cast<unsigned long long>(there),
                    static_cast<unsigned long long>(back));
    else
        events_.log("relay %s: session %d done: both streams ended (%llu bytes relayed from it, %llu to it)",
                    side.peerText().c_str(), side.sessionId_, static_cast<unsigned long long>(there),
                    static_cast<unsigned long long>(back));
    side.close(); // its partner closes with it
}

void TcpRelay::onExpired(int32_t id)
{
    auto it = waiting_.find(id);
    if (it == waiting_.end()) {
        events_.log("relay: session %d expired: nobody joined it within %d ms", id, settings_.relayJoinTimeoutMs);
        return;
    }
    TcpRelayConnection* side = it->second;
    events_.log("relay %s: session %d expired: the other side did not join within %d ms; closed",
                side->peerText().c_str(), id, settings_.relayJoinTimeoutMs);
    side->close();
}

} // namespace orvane
