#pragma once

#include "foundation/Socket.h"

#include <cstdint>

namespace orvane {

// A UDP socket for SSDP: it sends to the multicast group and receives the unicast
// answers, so it joins no group. It owns its handle and closes it when destroyed.
class MulticastSocket {
public:
    SocketHandle handle = NoSocket;
    // The wait of receive in milliseconds; negative waits without limit.
    int32_t receiveTimeoutMs = -1;

    MulticastSocket() = default;
    ~MulticastSocket();
    MulticastSocket(const MulticastSocket&) = delete;
    MulticastSocket& operator=(const MulticastSocket&) = delete;

    // A new datagram socket with a multicast time-to-live of 3 (an open handle is closed
    // first). SocketException when the socket or the option cannot be had; no handle is
    // kept then.
    void create();
    // Sets the multicast time-to-live; SocketException when the system refuses.
    void setMulticastTtl(int ttl);
    // The option as the system holds it; SocketException when it cannot be read.
    int getMulticastTtl() const;
    // One datagram to the address.
    int send(const SocketAddress& to, const void* data, int length);
    // Waits up to receiveTimeoutMs for one datagram: its length, or 0 when none came.
    // The exceptions of receiveFrom: NoConnectionException for an empty datagram,
    // SocketException for one longer than the buffer or a failure of the socket.
    int receive(SocketAddress& from, void* buffer, int length);
    void close();
};

} // namespace orvane
