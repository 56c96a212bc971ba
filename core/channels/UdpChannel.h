#pragma once

#include "core/module/ModuleInterfaces.h"
#include "foundation/Containers.h"
#include "foundation/Socket.h"
#include "foundation/String.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace orvane {

class UdpChannelManager;

// One datagram of the shared UDP socket, to be sent or as received. On the wire it is a
// 28-byte header, then the payload (every multi-byte field big-endian):
//
//   0  '~'   1  type   2, 3  0   4  recipient connection id (32 bits)
//   8  relay connection id (32 bits, 0 without a relay)
//  12  sender user id (64 bits)   20  recipient user id (64 bits)   28  payload
struct UdpPacket {
    static constexpr int HeaderSize = 28;
    static constexpr uint8_t Magic = '~';

    enum Type : uint8_t {
        // Module data, as queued for a receiver.
        Received = 0,
        Data = 1,
        // The handshake: the answering side announces itself, the opener probes, the
        // answering side acknowledges a probe.
        Announce = 2,
        Probe = 3,
        ProbeAck = 4,
        // The peer closed the channel.
        Close = 5,
    };

    SocketAddress address;
    uint64_t senderUserId = 0;
    uint64_t recipientUserId = 0;
    uint32_t recipientConnectionId = 0;
    uint32_t relayConnectionId = 0;
    ByteArray payload;
    uint8_t type = Received;

    const uint8_t* data() const { return payload.data(); }
    int size() const { return payload.count(); }

    // Header and payload into `out`.
    void encode(ByteArray& out) const;
    // The header fields of a received datagram (the payload stays where it is, after the
    // header); false for one shorter than the header. Byte 0 is not checked.
    bool decodeHeader(const uint8_t* bytes, int length);
};

// One logical datagram channel over the manager's shared socket. The manager's thread
// delivers the datagrams addressed to it; one module thread at a time takes them out with
// a time-out. Sends go through the manager's queue and never wait for the network.
//
// The receive queue is bounded: beyond MaxQueued datagrams the oldest go, so a receiver
// that stops reading cannot make the program hold an unbounded backlog. Closing, by the
// module, by the peer or by the manager, wakes a waiting receiver.
class UdpChannel : public IModuleConnection {
public:
    enum State {
        Closed = 0,
        Opening = 1,
        // The handshake states, in which the peer's address is learned from what arrives.
        Probing = 2,
        Answering = 3,
        Confirmed = 4,
        Open = 5,
    };

    static constexpr size_t MaxQueued = 256;

    explicit UdpChannel(UdpChannelManager& manager);
    virtual ~UdpChannel();
    UdpChannel(const UdpChannel&) = delete;
    UdpChannel& operator=(const UdpChannel&) = delete;

    // One data datagram to peerAddress; nothing on a closed channel or for empty data.
    void send(const void* data, int length) override;
    // The length of the next datagram's payload (0 for a control datagram or when none
    // came in time); -1 on a closed channel.
    int receive(int timeoutMs) override;
    const uint8_t* data() override { return received_.data(); }
    int size() override { return received_.count(); }
    // Out of the manager's table, closed, destroyed.
    void close() override;

    // The manager's thread: a data datagram's payload, or a control datagram's type (a
    // close marks the channel closed first).
    void deliverData(const SocketAddress& source, const uint8_t* payload, int length);
    void deliverControl(const SocketAddress& source, uint8_t type);
    // The handshake's own datagrams: a control datagram of that type to the address (NULL:
    // peerAddress), and the type of the next one that arrives.
    void sendControl(uint8_t type, const SocketAddress* address);
    bool receiveControl(uint8_t& type, int timeoutMs);
    // Closed, and every waiting receiver woken.
    void markClosed();

    int state() const { return state_.load(); }
    // A channel that was closed for good (by its owner, its peer or the manager) stays
    // closed whatever a handshake step sets afterwards.
    void setState(int state);
    SocketAddress peerAddress() const;
    void setPeerAddress(const SocketAddress& address);
    // Datagrams dropped from the full queue so far.
    uint64_t droppedDatagrams() const { return dropped_.load(); }

    // Set by the manager and the set-up before the channel is handed to a module.
    std::atomic<int> localConnectionId{0};
    std::atomic<int> peerConnectionId{0};
    std::atomic<int> relayConnectionId{0};
    String moduleId;
    std::atomic<uint64_t> peerUserId{0};
    // The peer's two endpoints from the set-up exchange (both the relay's once a relay is
    // used); written on the user-interface thread and read by the handshake's thread, so
    // under the channel's lock.
    SocketAddress peerExternal() const;
    SocketAddress peerLocal() const;
    void setPeerEndpoints(const SocketAddress& external, const SocketAddress& local);
    // Set when the answering side's endpoints were switched to the relay.
    std::atomic<bool> relayChanged{false};
    // The peer reported manual settings.
    std::atomic<bool> peerManual{false};
    // Wakes a handshake that waits for a datagram, so it looks at the state at once.
    void wake() { arrived_.notify_all(); }

private:
    // Waits for the oldest datagram; false when none came in time or the channel closed
    // with nothing queued.
    bool take(UdpPacket& out, int timeoutMs);

    UdpChannelManager& manager_;
    std::atomic<int> state_{Closed};
    std::atomic<bool> closedForGood_{false};
    std::atomic<uint64_t> dropped_{0};
    // Guards queue_ and the peer's addresses.
    mutable std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<std::unique_ptr<UdpPacket>> queue_;
    SocketAddress peerAddress_;
    SocketAddress peerExternal_;
    SocketAddress peerLocal_;
    ByteArray received_;
};

} // namespace orvane
