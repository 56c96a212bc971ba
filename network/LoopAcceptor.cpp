#include "network/LoopAcceptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

LoopAcceptor::ListenException::~ListenException() = default;
LoopAcceptor::Owner::~Owner() = default;

LoopAcceptor::LoopAcceptor(EventLoop& loop, Owner& owner) : loop_(loop), owner_(owner) {}

LoopAcceptor::~LoopAcceptor()
{
    if (id_)
        loop_.remove(id_);
    if (fd_ >= 0)
        ::close(fd_);
    if (reserveFd_ >= 0)
        ::close(reserveFd_);
    if (resumeTimer_)
        loop_.cancel(resumeTimer_);
}

void LoopAcceptor::listen(const SocketAddress& address, int backlog)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw ListenException();
    // A port whose last connections still linger in TIME_WAIT can be bound again at once;
    // a port on which somebody listens still cannot.
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof(sockaddr_in);
    SocketAddress bound;
    if (::bind(fd_, address.raw(), sizeof(sockaddr_in)) != 0 || ::listen(fd_, backlog) != 0 ||
        ::getsockname(fd_, bound.raw(), &length) != 0) {
        ::close(fd_);
        fd_ = -1;
        throw ListenException();
    }
    address_ = bound;
    reopenReserve();
    try {
        id_ = loop_.add(fd_, EPOLLIN, *this);
    } catch (const SocketException&) {
        throw ListenException();
    }
}

void LoopAcceptor::reopenReserve()
{
    if (reserveFd_ < 0)
        reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void LoopAcceptor::pause()
{
    paused_ = true;
    loop_.modify(id_, 0);
    resumeTimer_ = loop_.runAfter(pauseMs, [this] {
        resumeTimer_ = 0;
        paused_ = false;
        loop_.modify(id_, EPOLLIN);
    });
}

void LoopAcceptor::onReady(uint32_t)
{
    for (int taken = 0; taken < acceptsPerRound && !paused_; ++taken) {
        SocketAddress peer;
        socklen_t length = sizeof(sockaddr_in);
        const int fd = ::accept4(fd_, peer.raw(), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            owner_.onAccepted(fd, peer);
            continue;
        }
        const int error = errno;
        switch (error) {
        case EAGAIN:
            return;
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
            continue; // that connection is gone; the next may be fine
        case EMFILE:
        case ENFILE:
            // The system looks for a free descriptor before it looks for a connection, so
            // this also comes when none is waiting.
            if (reserveFd_ >= 0) {
                ::close(reserveFd_);
                reserveFd_ = -1;
                const int refused = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                const int retryError = errno;
                if (refused >= 0)
                    ::close(refused);
                reopenReserve();
                if (refused >= 0) {
                    owner_.onAcceptFailed(error, true);
                    continue;
                }
                if (retryError == EAGAIN || retryError == EWOULDBLOCK)
                    return;
            }
            owner_.onAcceptFailed(error, false);
            pause();
            return;
        default:
            owner_.onAcceptFailed(error, false);
            pause();
            return;
        }
    }
}

} // namespace orvane
