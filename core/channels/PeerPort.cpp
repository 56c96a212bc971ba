#include "core/channels/PeerPort.h"

#include "core/Diagnostics.h"
#include "core/channels/Packet.h"
#include "core/channels/TcpChannelConnector.h"
#include "foundation/XmlNode.h"

#include <sys/epoll.h>
#include <unistd.h>

namespace orvane {

// One accepted connection until its set-up record has come. The reader takes what the
// socket holds without waiting and keeps a partial frame between rounds.
class PeerPort::Waiting : public EventLoop::Handler {
public:
    Waiting(PeerPort& port, int fd, int maxRecordBytes) : port_(port), fd_(fd), reader_(fd, 0)
    {
        reader_.maxBodyLength = maxRecordBytes;
    }
    ~Waiting() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

    void onReady(uint32_t) override
    {
        XmlNode record;
        try {
            reader_.read(record);
        } catch (const TimeoutException&) {
            return; // the rest comes later
        } catch (const Exception&) {
            // Not a frame, one beyond the cap, or the peer left: nothing is answered.
            close();
            return;
        }
        TcpChannelConnector::SetUpDecision decision;
        try {
            decision = port_.connector_.decide(record);
        } catch (const Exception&) {
            close();
            return;
        }
        // Out of the loop first: from here the socket is written and handed on as a
        // blocking one.
        port_.retire(*this);
        try {
            setBlocking(fd_, true);
            // The answer goes out before the socket is handed on, so the module that takes
            // it never writes at the same time.
            if (!decision.answer.isEmpty())
                reader_.write(decision.answer.c_str());
        } catch (const Exception&) {
            closeSocket(fd_);
            fd_ = -1;
            return;
        }
        if (decision.action == TcpChannelConnector::SetUpDecision::Refuse) {
            closeSocket(fd_);
        } else {
            port_.connector_.carryOut(decision, fd_);
        }
        fd_ = -1;
    }

    // Ends the connection without an answer.
    void close()
    {
        port_.retire(*this);
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    EventLoop::HandlerId key = 0;

private:
    PeerPort& port_;
    int fd_;
    Packet reader_;
};

PeerPort::PeerPort(TcpChannelConnector& connector) : connector_(connector) {}

PeerPort::~PeerPort()
{
    stop();
}

void PeerPort::start(const SocketAddress& address)
{
    if (loop_)
        return;
    loop_ = std::make_unique<EventLoop>();
    loop_->setErrorSink([](const char* what) { diagnostic("tcp channels: the peer port's loop: %s", what); });
    acceptor_ = std::make_unique<LoopAcceptor>(*loop_, static_cast<LoopAcceptor::Owner&>(*this));
    room_ = std::make_unique<WaitingRoom>(*loop_, limits.recordWaitMs, [this](WaitingRoom::Key key) {
        auto it = connections_.find(key);
        if (it != connections_.end())
            it->second->close();
    });
    try {
        acceptor_->listen(address, limits.backlog);
        loop_->start();
    } catch (...) {
        room_.reset();
        acceptor_.reset();
        loop_.reset();
        throw;
    }
    running_ = true;
}

void PeerPort::stop()
{
    if (!loop_)
        return;
    if (running_)
        loop_->stop();
    running_ = false;
    // The loop has ended: what it held is closed on this thread.
    closeAll();
    room_.reset();
    acceptor_.reset();
    loop_.reset();
}

void PeerPort::closeAll()
{
    std::vector<Waiting*> open;
    for (auto& entry : connections_)
        open.push_back(entry.second.get());
    for (Waiting* connection : open)
        connection->close();
    retired_.clear();
}

void PeerPort::onAccepted(int fd, const SocketAddress& peer)
{
    const uint32_t address = peer.getAddress();
    // Every open connection here is a waiting one.
    room_->makeRoom(address, room_->size(), limits.maxWaiting, limits.maxWaitingPerAddress,
                    [this](WaitingRoom::Key key, bool) {
                        auto it = connections_.find(key);
                        if (it != connections_.end())
                            it->second->close();
                    });
    auto connection = std::make_unique<Waiting>(*this, fd, limits.maxRecordBytes);
    Waiting& added = *connection;
    try {
        added.key = loop_->add(fd, EPOLLIN, added);
    } catch (const Exception&) {
        return; // the connection's object closes the descriptor
    }
    connections_.emplace(added.key, std::move(connection));
    room_->enter(added.key, address);
    waiting_.store(room_->size());
}

void PeerPort::onAcceptFailed(int, bool refused)
{
    if (!refused)
        diagnostic("tcp channels: the peer port cannot accept for a moment");
}

void PeerPort::retire(Waiting& connection)
{
    auto it = connections_.find(connection.key);
    if (it == connections_.end())
        return;
    loop_->remove(connection.key);
    room_->leave(connection.key);
    if (retired_.empty() && running_)
        loop_->post([this] { retired_.clear(); });
    retired_.push_back(std::move(it->second));
    connections_.erase(it);
    waiting_.store(room_->size());
}

} // namespace orvane
