#include "server/MessageEndpoint.h"

#include "foundation/Clock.h"
#include "foundation/Thread.h"
#include "network/HttpMessage.h"
#include "server/ServerLog.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

MessageConnection::MessageConnection(MessageDispatcher& dispatcher) : dispatcher_(dispatcher)
{
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        throw SocketException();
}

MessageConnection::~MessageConnection()
{
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    dispatcher_.active_.fetch_sub(1);
}

bool MessageConnection::send(const uint8_t* frame, int length)
{
    if (closeRequested_.load() || !frame || length <= 0)
        return false;
    {
        std::lock_guard<std::mutex> guard(outputLock_);
        const int waiting = queued_.count() - queuedOffset_;
        // One frame always fits an empty queue (frames are bounded themselves); beyond that
        // the queue holds maxQueuedBytes.
        if (waiting > 0 && length > dispatcher_.hub().settings().maxQueuedBytes - waiting) {
            closeRequested_.store(true);
            serverLog("message %s: dropped the client: %d bytes wait for it unread", peerText_.c_str(),
                      waiting);
        } else {
            // The written part in front goes once it is as large as what still waits, so
            // a queue that never drains completely does not grow without end.
            if (queuedOffset_ > 0 && queuedOffset_ >= waiting) {
                std::memmove(queued_.data(), queued_.data() + queuedOffset_, static_cast<size_t>(waiting));
                queued_.setSize(waiting);
                queuedOffset_ = 0;
            }
            appendBytes(queued_, frame, length);
        }
    }
    const uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
    return !closeRequested_.load();
}

void MessageConnection::requestClose()
{
    closeRequested_.store(true);
    const uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
}

bool MessageConnection::flushSome()
{
    std::lock_guard<std::mutex> guard(outputLock_);
    while (queuedOffset_ < queued_.count()) {
        const ssize_t n = ::send(socket.handle, queued_.data() + queuedOffset_,
                                 static_cast<size_t>(queued_.count() - queuedOffset_), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        queuedOffset_ += static_cast<int>(n);
    }
    // All written: the room is used again from the start, and a burst's worth of it is
    // given back.
    if (queued_.capacity() > 256 * 1024)
        queued_.setCapacity(4096);
    queued_.setSize(0);
    queuedOffset_ = 0;
    return true;
}

int MessageConnection::receive(void* buffer, int length, int timeoutMs)
{
    if (length <= 0)
        return 0;
    const int64_t deadline = monotonicMillis() + (timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (closeRequested_.load())
            throw NoConnectionException();
        if (inputPosition_ < inputLength_) {
            const int n = std::min(length, inputLength_ - inputPosition_);
            std::memcpy(buffer, input_ + inputPosition_, static_cast<size_t>(n));
            inputPosition_ += n;
            return n;
        }
        bool writing;
        {
            std::lock_guard<std::mutex> guard(outputLock_);
            writing = queuedOffset_ < queued_.count();
        }
        pollfd fds[2];
        fds[0].fd = socket.handle;
        fds[0].events = static_cast<short>(POLLIN | (writing ? POLLOUT : 0));
        fds[0].revents = 0;
        fds[1].fd = wakeFd_;
        fds[1].events = POLLIN;
        fds[1].revents = 0;
        int wait = -1;
        if (timeoutMs >= 0) {
            const int64_t left = deadline - monotonicMillis();
            wait = left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, INT_MAX));
        }
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw SocketException();
        }
        if (ready == 0)
            return 0;
        const bool woken = (fds[1].revents & POLLIN) != 0;
        if (woken) {
            uint64_t count;
            ssize_t ignored = ::read(wakeFd_, &count, sizeof count);
            (void)ignored;
        }
        // New frames are written at once, not at the reader's next turn.
        if ((woken || (fds[0].revents & (POLLOUT | POLLERR))) && !flushSome())
            throw NoConnectionException();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            // One receive for the reader and what follows it; a closed connection is a
            // NoConnectionException.
            inputLength_ = orvane::receive(socket.handle, input_, static_cast<int>(sizeof input_), 0);
            inputPosition_ = 0;
        }
    }
}

void MessageConnection::handle()
{
    const SocketAddress peer = getPeerAddress(socket.handle);
    peerText_.format("%s:%u", peer.getHostAddress().c_str(), static_cast<unsigned>(peer.getPort()));
    MessageHub& hub = dispatcher_.hub();
    const ServerSettings& settings = hub.settings();
    ClientSession session(hub, *this, peer);
    Message reader(dispatcher_.pollMs);
    reader.maxBodyLength = settings.maxFrameBody;
    reader.setSource(this);
    const int64_t signInDeadline = monotonicMillis() + settings.signInTimeoutMs;
    for (;;) {
        Thread::checkStop();
        if (closeRequested_.load())
            break;
        if (!session.isSignedIn() && monotonicMillis() >= signInDeadline) {
            serverLog("message %s: closed: no sign-in within %d ms", session.describe().c_str(),
                      settings.signInTimeoutMs);
            break;
        }
        if (session.readFrame(reader) == ClientSession::SessionEnded)
            break;
    }
    session.end();
    // What was queued before the end (a last reply) is worth one try; nobody waits for it.
    if (!closeRequested_.load())
        flushSome();
}

// ---- dispatcher -----------------------------------------------------------------------------

MessageDispatcher::MessageDispatcher(MessageHub& hub) : hub_(hub)
{
    pool.setLimit(hub.settings().maxMessageConnections);
    handlerSocketTimeoutMs = pollMs;
}

ConnectionHandler* MessageDispatcher::createHandler()
{
    if (active_.load() >= hub_.settings().maxMessageConnections) {
        serverLog("message: refused a connection: %d connections are open",
                  hub_.settings().maxMessageConnections);
        return nullptr;
    }
    MessageConnection* connection = new MessageConnection(*this);
    active_.fetch_add(1);
    return connection;
}

void MessageDispatcher::onHandlerCreated(ConnectionHandler*, SocketAddress*) {}

} // namespace orvane
