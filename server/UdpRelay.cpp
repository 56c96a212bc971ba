#include "server/UdpRelay.h"

#include "core/FrameCodec.h"
#include "foundation/Clock.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/epoll.h>
#include <unistd.h>

namespace orvane {

namespace {

// Datagrams per system call, and batches per wake-up before the loop serves the others.
constexpr int Batch = 32;
constexpr int BatchesPerWake = 16;
// Room for the largest datagram IPv4 carries: nothing that arrives whole is cut.
constexpr int DatagramRoom = 64 * 1024;
// Socket buffers for bursts; the system caps them at what it allows.
constexpr int SocketBufferBytes = 4 * 1024 * 1024;

} // namespace

UdpRelay::UdpRelay(EventLoop& loop, RelaySessions& sessions)
    : loop_(loop),
      sessions_(sessions),
      buffers_(static_cast<size_t>(Batch) * DatagramRoom),
      received_(Batch),
      receivedData_(Batch),
      sources_(Batch),
      routes_(Batch),
      routedIndex_(Batch),
      outgoing_(Batch),
      outgoingData_(Batch),
      drops_(loop, "relay udp: datagrams dropped", 5),
      events_(loop, "relay udp: session events", 20)
{
    for (int i = 0; i < Batch; ++i) {
        receivedData_[i].iov_base = buffers_.data() + static_cast<size_t>(i) * DatagramRoom;
        receivedData_[i].iov_len = DatagramRoom;
        msghdr& header = received_[i].msg_hdr;
        std::memset(&header, 0, sizeof header);
        header.msg_iov = &receivedData_[i];
        header.msg_iovlen = 1;
        header.msg_name = &sources_[i];
    }
}

UdpRelay::~UdpRelay()
{
    if (id_)
        loop_.remove(id_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool UdpRelay::bind(const SocketAddress& address)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    if (::bind(fd_, address.raw(), sizeof(sockaddr_in)) != 0) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        errno = error;
        return false;
    }
    for (int option : {SO_RCVBUF, SO_SNDBUF})
        ::setsockopt(fd_, SOL_SOCKET, option, &SocketBufferBytes, sizeof SocketBufferBytes);
    id_ = loop_.add(fd_, EPOLLIN, *this);
    return true;
}

void UdpRelay::onReady(uint32_t)
{
    for (int batch = 0; batch < BatchesPerWake; ++batch) {
        for (mmsghdr& message : received_) {
            message.msg_hdr.msg_namelen = sizeof(sockaddr_in);
            message.msg_hdr.msg_flags = 0;
        }
        // MSG_TRUNC: a datagram larger than its room is reported at its full length and
        // flagged, never passed on cut.
        const int n = ::recvmmsg(fd_, received_.data(), Batch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                drops_.log("relay udp: receiving failed: %s", std::strerror(errno));
            return;
        }
        relay(n);
        if (n < Batch)
            return; // drained: the next datagram wakes the loop again
    }
}

void UdpRelay::onExpired(int32_t id, int sidesSeen)
{
    const RelaySessions::Limits& limits = sessions_.limits();
    if (sidesSeen < 2)
        events_.log("relay udp: session %d expired: %s within %d ms", id,
                    sidesSeen ? "only one side was heard from" : "nobody was heard from", limits.joinTimeoutMs);
    else
        events_.log("relay udp: session %d ended: nothing came through it for %d ms", id, limits.udpIdleTimeoutMs);
}

void UdpRelay::drop(int index, const char* why)
{
    ++dropped_;
    const sockaddr_in& from = sources_[index];
    drops_.log("relay udp %s:%u: dropped a datagram of %u bytes: %s", ipToText(from.sin_addr.s_addr).c_str(),
               static_cast<unsigned>(ntohs(from.sin_port)), received_[index].msg_len, why);
}

bool UdpRelay::readHeader(const uint8_t* data, unsigned length, RelayRoute& route)
{
    if (length < static_cast<unsigned>(HeaderSize) || data[0] != Magic)
        return false;
    const uint64_t sessionId = getBigEndian(data + 8, 4);
    // Ids above 31 bits name no session; 0 never does either.
    route.sessionId = sessionId > INT32_MAX ? 0 : static_cast<int32_t>(sessionId);
    route.senderId = getBigEndian(data + 12, 8);
    return true;
}

void UdpRelay::relay(int received)
{
    int routed = 0;
    for (int i = 0; i < received; ++i) {
        const mmsghdr& message = received_[i];
        const uint8_t* data = static_cast<const uint8_t*>(receivedData_[i].iov_base);
        if (message.msg_hdr.msg_flags & MSG_TRUNC) {
            drop(i, "larger than a datagram may be");
            continue;
        }
        RelayRoute& route = routes_[routed];
        if (!readHeader(data, message.msg_len, route)) {
            drop(i, "not a relay datagram");
            continue;
        }
        route.from = sources_[i];
        routedIndex_[routed++] = i;
    }
    if (routed == 0)
        return;
    sessions_.route(routes_.data(), routed, monotonicMillis());

    int outgoing = 0;
    for (int r = 0; r < routed; ++r) {
        RelayRoute& route = routes_[r];
        const int i = routedIndex_[r];
        if (route.outcome == RelayRoute::UnknownSession) {
            drop(i, "no UDP relay session has its id");
            continue;
        }
        if (route.outcome == RelayRoute::NotAParticipant) {
            drop(i, "its sender is not a participant of the session");
            continue;
        }
        if (route.outcome == RelayRoute::PartnerNotHeard) {
            // The normal start of a channel, not worth a line: the other side comes soon.
            ++dropped_;
            continue;
        }
        outgoingData_[outgoing].iov_base = receivedData_[i].iov_base;
        outgoingData_[outgoing].iov_len = received_[i].msg_len;
        msghdr& header = outgoing_[outgoing].msg_hdr;
        std::memset(&header, 0, sizeof header);
        header.msg_iov = &outgoingData_[outgoing];
        header.msg_iovlen = 1;
        header.msg_name = &route.to;
        header.msg_namelen = sizeof route.to;
        ++outgoing;
    }
    send(outgoing);
}

void UdpRelay::send(int count)
{
    int sent = 0;
    while (sent < count) {
        const int n = ::sendmmsg(fd_, outgoing_.data() + sent, static_cast<unsigned>(count - sent), MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            forwarded_ += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The socket's buffer is full: what is left of the batch is lost, as it would be
            // on any congested hop.
            dropped_ += static_cast<uint64_t>(count - sent);
            drops_.log("relay udp: dropped %d datagrams: the socket's send buffer is full", count - sent);
            return;
        }
        // The first datagram left failed on its own (its destination, its size): the rest
        // still go.
        ++dropped_;
        drops_.log("relay udp: could not send a datagram: %s", std::strerror(errno));
        ++sent;
    }
}

} // namespace orvane
