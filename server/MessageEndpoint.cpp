#include "server/MessageEndpoint.h"

#include "network/HttpMessage.h"
#include "server/ServerLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>

namespace orvane {

namespace {

// Before it signs in, a client may send nothing but its sign-in frame, a few hundred bytes.
// A header announcing more must not have every waiting connection hold the full frame cap.
constexpr int MaxSignInBody = 16 * 1024;

} // namespace

MessageConnection::MessageConnection(MessageServer& server, int fd, const SocketAddress& peer)
    : FaceConnection(server, fd, peer), server_(server), session_(server.hub(), *this, peer, this), reader_(0)
{
    reader_.maxBodyLength = std::min(server.settings().maxFrameBody, MaxSignInBody);
    reader_.setSource(this);
    SocketAddress local;
    socklen_t length = sizeof(sockaddr_in);
    if (::getsockname(fd, local.raw(), &length) == 0)
        session_.setLocalAddress(local);
    // Frames are small and each is one write: waiting to fill a segment only delays them.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

MessageConnection::~MessageConnection() = default;

bool MessageConnection::send(const uint8_t* frame, int length)
{
    if (closeRequested_.load() || !frame || length <= 0)
        return false;
    bool wake;
    {
        std::lock_guard<std::mutex> guard(outputLock_);
        const int waiting = queued_.count() - queuedOffset_;
        // One frame always fits an empty queue (frames are bounded themselves); beyond that
        // the queue holds maxQueuedBytes.
        if (waiting > 0 && length > server_.settings().maxQueuedBytes - waiting) {
            closeRequested_.store(true);
            serverLog("message %s: dropped the client: %d bytes wait for it unread", peerText().c_str(), waiting);
            wake = true;
        } else {
            // The written part in front goes once it is as large as what still waits, so
            // a queue that never drains completely does not grow without end.
            if (queuedOffset_ > 0 && queuedOffset_ >= waiting) {
                std::memmove(queued_.data(), queued_.data() + queuedOffset_, static_cast<size_t>(waiting));
                queued_.setSize(waiting);
                queuedOffset_ = 0;
            }
            appendBytes(queued_, frame, length);
            wake = waiting == 0;
        }
    }
    if (wake)
        server_.loop().wake(key());
    return !closeRequested_.load();
}

void MessageConnection::requestClose()
{
    closeRequested_.store(true);
    server_.loop().wake(key());
}

void MessageConnection::onWake()
{
    if (closeRequested_.load() || !flushSome()) {
        close();
        return;
    }
    updateInterest();
}

void MessageConnection::onReady(uint32_t events)
{
    if (closeRequested_.load()) {
        close();
        return;
    }
    if (events & EPOLLOUT) {
        if (!flushSome()) {
            close();
            return;
        }
        updateInterest();
    }
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        // Not reading while the sign-in is checked: then only the client's end, a hang-up
        // or an error comes here, and nobody is left to answer. Its check, if no worker has
        // it yet, is dropped.
        if (!(interest() & EPOLLIN)) {
            close();
            return;
        }
        readInput();
    }
}

void MessageConnection::onWaitedTooLong()
{
    server_.logTimeOut("message %s: closed: no sign-in within %d ms", peerText().c_str(),
                       server_.settings().signInTimeoutMs);
    close();
}

void MessageConnection::onClosing()
{
    session_.end();
    // What was queued before the end (a last reply) is worth one try; nobody waits for it.
    if (!closeRequested_.load())
        flushSome();
    closeRequested_.store(true);
}

void MessageConnection::checkLater(const SignInRequest& request)
{
    // The sign-in frame is here: the client no longer waits in the room, whatever the
    // check takes.
    stopWaiting();
    if (!server_.checkSignInLater(*this, request))
        requestClose();
}

void MessageConnection::onSignInChecked(const SignInRequest& request, const SignInCheck& check)
{
    if (!session_.finishSignIn(request, check)) {
        close();
        return;
    }
    ByteArray rest;
    rest.swap(held_);
    takeFrames(rest.data(), rest.count());
}

int MessageConnection::receive(void* buffer, int length, int)
{
    const int n = std::min(length, inputLength_);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, input_, static_cast<size_t>(n));
    input_ += n;
    inputLength_ -= n;
    return n;
}

void MessageConnection::readInput()
{
    uint8_t* buffer = server_.receiveBuffer();
    const ssize_t n = ::recv(socket(), buffer, static_cast<size_t>(server_.receiveBufferSize()), 0);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return;
        close(); // the connection broke
        return;
    }
    if (n == 0) {
        close(); // the client left
        return;
    }
    takeFrames(buffer, static_cast<int>(n));
}

bool MessageConnection::takeFrames(const uint8_t* data, int length)
{
    input_ = data;
    inputLength_ = length;
    bool open = true;
    for (;;) {
        if (session_.isCheckingSignIn()) {
            if (inputLength_ > 0)
                appendBytes(held_, input_, inputLength_);
            break;
        }
        if (session_.isSignedIn())
            reader_.maxBodyLength = server_.settings().maxFrameBody;
        const ClientSession::ReadResult result = session_.readFrame(reader_);
        if (result == ClientSession::NoFrameYet)
            break;
        if (result == ClientSession::SessionEnded) {
            open = false;
            break;
        }
        // The first whole frame was the sign-in frame: the client no longer waits.
        stopWaiting();
    }
    input_ = nullptr;
    inputLength_ = 0;
    if (!open) {
        close();
        return false;
    }
    updateInterest();
    return true;
}

bool MessageConnection::flushSome()
{
    std::lock_guard<std::mutex> guard(outputLock_);
    if (!writeSome(queued_.data(), queued_.count(), queuedOffset_, writeBlocked_))
        return false;
    if (writeBlocked_)
        return true;
    // All written: the room is used again from the start, and a burst's worth of it is
    // given back.
    if (queued_.capacity() > 256 * 1024)
        queued_.setCapacity(4096);
    queued_.setSize(0);
    queuedOffset_ = 0;
    return true;
}

void MessageConnection::updateInterest()
{
    uint32_t events = session_.isCheckingSignIn() ? EPOLLRDHUP : EPOLLIN;
    if (writeBlocked_)
        events |= EPOLLOUT;
    setInterest(events);
}

// ---- the face -------------------------------------------------------------------------------

MessageServer::MessageServer(EventLoop& loop, WorkQueue& passwordWorkers, MessageHub& hub, int maxConnections)
    : ServerFace(loop, passwordWorkers, "message", "have not sent their sign-in frame",
                 Limits(maxConnections, hub.settings().maxWaitingPerAddress, hub.settings().signInTimeoutMs,
                        hub.settings().maxHashesWaitingPerAddress)),
      hub_(hub)
{
}

MessageServer::~MessageServer()
{
    closeAll();
}

std::unique_ptr<FaceConnection> MessageServer::makeConnection(int fd, const SocketAddress& peer)
{
    return std::unique_ptr<FaceConnection>(new MessageConnection(*this, fd, peer));
}

bool MessageServer::checkSignInLater(MessageConnection& connection, const SignInRequest& request)
{
    return workOffLoop(
               connection, [this, request] { return ClientSession::checkSignIn(hub_.store(), request); },
               [request](FaceConnection& face, const SignInCheck& check) {
                   static_cast<MessageConnection&>(face).onSignInChecked(request, check);
               }) == WorkQueue::Submitted::Queued;
}

} // namespace orvane
