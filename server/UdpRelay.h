#pragma once

#include "foundation/Socket.h"
#include "network/EventLoop.h"
#include "server/LimitedLog.h"
#include "server/RelaySessions.h"

#include <cstdint>
#include <sys/socket.h>
#include <vector>

namespace orvane {

// The UDP half of the channel relay. Every datagram of a relayed channel starts with a
// 28-byte header, big-endian:
//
//   0  '~'    1  type    2  zero (16 bits)    4  recipient's connection id (32 bits)
//   8  relay session id (32 bits)    12  sender's user id (64 bits)
//  20  recipient's user id (64 bits)    28  payload
//
// The relay reads only the session id and the sender: a participant of a UDP session is
// learned at the address its datagrams come from, and each of its datagrams goes on,
// every byte unchanged, to the other participant's learned address. Datagrams that are
// short, not '~', truncated, of an unknown session or from somebody else are dropped, and
// so are those whose other side has not been heard from yet (UDP callers resend).
//
// Datagrams are taken and sent in batches (recvmmsg, sendmmsg): one system call each way
// for many datagrams, which is what bounds a relay's rate. Runs on its loop's thread.
class UdpRelay : public EventLoop::Handler {
public:
    static constexpr int HeaderSize = 28;
    static constexpr uint8_t Magic = '~';

    UdpRelay(EventLoop& loop, RelaySessions& sessions);
    // Leaves the loop and closes the socket; on the loop's thread or once it stopped.
    ~UdpRelay() override;
    UdpRelay(const UdpRelay&) = delete;
    UdpRelay& operator=(const UdpRelay&) = delete;

    // Binds the socket and joins the loop; false, with errno telling why, when the bind
    // fails (EADDRINUSE: the port is taken for UDP).
    bool bind(const SocketAddress& address);

    void onReady(uint32_t events) override;
    // The session ended: its sides were not both heard from in time, or it fell idle.
    void onExpired(int32_t id, int sidesSeen);

    // What the relay reads of a datagram: its session (0 for an id above 31 bits, which
    // names none) and its sender, into the route; false for one that is short or not '~'.
    static bool readHeader(const uint8_t* data, unsigned length, RelayRoute& route);

    // Datagrams sent on and dropped so far (the loop's thread).
    uint64_t forwarded() const { return forwarded_; }
    uint64_t dropped() const { return dropped_; }

private:
    // Checks and routes the batch of `received` datagrams, then sends those that go on.
    void relay(int received);
    void send(int count);
    void drop(int index, const char* why);

    EventLoop& loop_;
    RelaySessions& sessions_;
    int fd_ = -1;
    EventLoop::HandlerId id_ = 0;
    std::vector<uint8_t> buffers_;
    std::vector<mmsghdr> received_;
    std::vector<iovec> receivedData_;
    std::vector<sockaddr_in> sources_;
    std::vector<RelayRoute> routes_;
    std::vector<int> routedIndex_;
    std::vector<mmsghdr> outgoing_;
    std::vector<iovec> outgoingData_;
    uint64_t forwarded_ = 0;
    uint64_t dropped_ = 0;
    LimitedLog drops_;
    LimitedLog events_;
};

} // namespace orvane
