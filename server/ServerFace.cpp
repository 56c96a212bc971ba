#include "server/ServerFace.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace orvane {

namespace {

// One receive takes at most this much; a client that sends more is read again in the next
// round, after the others had their turn.
constexpr int ReceiveBufferSize = 64 * 1024;
constexpr int LinesPerSecond = 5;

String summary(const char* name, const char* what)
{
    String text(name);
    text += ": ";
    text += what;
    return text;
}

} // namespace

// ---- FaceConnection -------------------------------------------------------------------------

FaceConnection::FaceConnection(ServerFace& face, int fd, const SocketAddress& peer)
    : face_(face), fd_(fd), open_(std::make_shared<std::atomic<bool>>(true)), peer_(peer)
{
    peerText_.format("%s:%u", peer.getHostAddress().c_str(), static_cast<unsigned>(peer.getPort()));
}

FaceConnection::~FaceConnection()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void FaceConnection::onClosing() {}

void FaceConnection::setInterest(uint32_t events)
{
    if (events == interest_ || fd_ < 0)
        return;
    face_.loop_.modify(key_, events);
    interest_ = events;
}

bool FaceConnection::writeSome(const uint8_t* data, int length, int& offset, bool& blocked)
{
    blocked = false;
    while (offset < length) {
        const ssize_t n = ::send(fd_, data + offset, static_cast<size_t>(length - offset), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            blocked = errno == EAGAIN || errno == EWOULDBLOCK;
            return blocked;
        }
        offset += static_cast<int>(n);
    }
    return true;
}

void FaceConnection::stopWaiting()
{
    face_.room_.leave(key_);
}

void FaceConnection::close()
{
    if (fd_ < 0)
        return;
    open_->store(false);
    onClosing();
    face_.room_.leave(key_);
    face_.loop_.remove(key_);
    ::close(fd_);
    fd_ = -1;
    face_.retire(*this);
}

// ---- ServerFace -----------------------------------------------------------------------------

ServerFace::ServerFace(EventLoop& loop, WorkQueue& workers, const char* name, const char* waiting,
                       const Limits& limits)
    : loop_(loop),
      workers_(workers),
      name_(name),
      waiting_(waiting),
      limits_(limits),
      acceptor_(loop, *this),
      room_(loop, limits.waitTimeoutMs,
            [this](WaitingRoom::Key key) {
                if (FaceConnection* connection = find(key))
                    connection->onWaitedTooLong();
            }),
      receiveBuffer_(ReceiveBufferSize),
      refusals_(loop, summary(name, "connections refused"), LinesPerSecond),
      evictions_(loop, summary(name, "waiting connections closed to make room"), LinesPerSecond),
      timeOuts_(loop, summary(name, "connections closed for waiting too long"), LinesPerSecond),
      turnedAway_(loop, summary(name, "requests turned away while their address had the most work waiting"),
                  LinesPerSecond),
      acceptFailures_(loop, summary(name, "failed accepts"), LinesPerSecond)
{
}

ServerFace::~ServerFace()
{
    closeAll();
}

void ServerFace::listen(const SocketAddress& address, int backlog)
{
    acceptor_.listen(address, backlog);
}

void ServerFace::closeAll()
{
    // Each close may end a session, whose watchers are told on other connections: those
    // are still open or already retired, never half gone.
    std::vector<FaceConnection*> open;
    for (auto& entry : connections_)
        open.push_back(entry.second.get());
    for (FaceConnection* connection : open)
        connection->close();
    retired_.clear();
}

FaceConnection* ServerFace::find(FaceConnection::Key key)
{
    auto it = connections_.find(key);
    return it == connections_.end() ? nullptr : it->second.get();
}

void ServerFace::logTimeOut(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    timeOuts_.logV(format, args);
    va_end(args);
}

void ServerFace::evict(FaceConnection::Key key, uint32_t address, bool sameAddress)
{
    FaceConnection* connection = find(key);
    if (!connection)
        return;
    if (sameAddress)
        evictions_.log("%s %s: closed to make room: the oldest of %d connections from its address that %s",
                   name_, connection->peerText().c_str(), room_.countFrom(address), waiting_);
    else
        evictions_.log("%s %s: closed to make room: the oldest of %d connections that %s; %d are open",
                   name_, connection->peerText().c_str(), room_.size(), waiting_, connectionCount());
    connection->close();
}

void ServerFace::logTurnedAway(const FaceConnection& connection)
{
    turnedAway_.log("%s %s: turned away: %d jobs from its address wait for the workers already", name_,
                    connection.peerText().c_str(), limits_.maxWorkPerAddress);
}

void ServerFace::onAccepted(int fd, const SocketAddress& peer)
{
    const uint32_t address = peer.getAddress();
    if (!room_.makeRoom(address, connectionCount(), limits_.maxConnections, limits_.maxWaitingPerAddress,
                        [&](WaitingRoom::Key key, bool sameAddress) { evict(key, address, sameAddress); })) {
        refusals_.log("%s %s:%u: refused a connection: %d connections are open", name_, peer.getHostAddress().c_str(),
                      static_cast<unsigned>(peer.getPort()), connectionCount());
        ::close(fd);
        return;
    }

    std::unique_ptr<FaceConnection> connection;
    try {
        connection = makeConnection(fd, peer);
    } catch (...) {
        ::close(fd);
        throw;
    }
    FaceConnection& added = *connection;
    added.key_ = loop_.add(fd, EPOLLIN, added);
    added.interest_ = EPOLLIN;
    connections_.emplace(added.key_, std::move(connection));
    room_.enter(added.key_, address);
}

void ServerFace::onAcceptFailed(int error, bool refused)
{
    acceptFailures_.log("%s: accept failed: %s; %s", name_, std::strerror(error),
               refused ? "the connection was closed" : "accepting pauses for a moment");
}

void ServerFace::retire(FaceConnection& connection)
{
    auto it = connections_.find(connection.key_);
    if (it == connections_.end())
        return;
    if (retired_.empty())
        loop_.post([this] { retired_.clear(); });
    retired_.push_back(std::move(it->second));
    connections_.erase(it);
}

} // namespace orvane
