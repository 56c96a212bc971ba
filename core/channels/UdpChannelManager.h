#pragma once

#include "core/channels/UdpChannel.h"
#include "foundation/Containers.h"
#include "foundation/Socket.h"
#include "foundation/Thread.h"
#include "foundation/WakeSignal.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <functional>
#include <vector>

namespace orvane {

class SystemModule;
class XmlNode;

// The one UDP socket that every datagram channel of the program shares, and the thread
// that alone touches it: it sends what the channels queue and hands each arriving datagram
// to the channel its header names, data to the channel's receive queue and the handshake's
// datagrams to its set-up.
//
// Threads: queueing and the channel table are used from any thread under their own locks;
// the socket only from the manager's thread. A datagram is delivered while the table's lock
// is held, so a channel taken out of the table (which its close does before it is
// destroyed) is never delivered to afterwards.
class UdpChannelManager : public Thread {
public:
    // `ownUserId` is the signed-in user's id (0 while signed out): datagrams for anyone
    // else are dropped, and it is the sender of everything sent.
    explicit UdpChannelManager(const std::atomic<uint64_t>& ownUserId);
    // Stops the thread and waits for it.
    ~UdpChannelManager() override;

    void run() override;
    bool deleteWhenDone() override { return false; }
    // Ends the thread (and with it every channel still in the table, which is marked closed)
    // and waits for it.
    void stop();

    // Where the socket binds; set before the thread starts.
    SocketAddress bindAddress;
    // The port the socket got, once bound (0 before).
    uint16_t boundPort() const { return boundPort_.load(); }
    // True once the socket is bound; false when the bind failed or the thread has ended.
    bool isBound() const { return boundPort_.load() != 0; }

    // A data datagram with a copy of the bytes to the channel's peer, with its ids.
    void queueData(UdpChannel& channel, const void* data, int length);
    // A handshake datagram without payload to the address (NULL: the channel's peer).
    void queueControl(UdpChannel& channel, uint8_t type, const SocketAddress* address);

    void addChannel(UdpChannel& channel);
    // The channel with that local connection id, or NULL. The pointer is only safe to use
    // while the channel's owner keeps it open.
    UdpChannel* findChannel(int connectionId);
    // Runs `action` on the channel with that id while the table's lock keeps it from being
    // closed; false when there is none.
    bool withChannel(int connectionId, const std::function<void(UdpChannel&)>& action);
    // Takes the channel out of the table; true when it was there. A channel of a set-up
    // tells its peer three times that it is closed.
    bool removeChannel(UdpChannel& channel);
    int channelCount();
    // Marks every channel to that user closed (the user went offline: nothing more will
    // come), waking their readers.
    void closeChannelsOf(uint64_t userId);

    // Datagrams queued but not yet sent.
    size_t queuedDatagrams();

    // ---- the set-up of channels (needs the system module) ----

    // Waits and bounds of the handshake; fields so that tests can shorten them.
    struct Timing {
        // The OPEN_UDP_CHANNEL answer and the relay's, each.
        int answerMs = 60000;
        // Probing when neither side is known to be reachable, and otherwise (also through
        // a relay).
        int shortWindowMs = 500;
        int longWindowMs = 20000;
        // How long the answering side keeps answering.
        int responderMs = 120000;
        // One wait for a handshake datagram.
        int probeIntervalMs = 100;
    };

    void attach(SystemModule& system) { system_ = &system; }
    // A channel to the user for the module, after the handshake (directly, or through the
    // server's relay); NULL when it failed. Blocks for up to minutes.
    UdpChannel* openUdpChannel(const char* userId, const char* moduleId);
    // The system module's messages (user-interface thread), each with its true sender.
    void onOpenUdpChannel(const XmlNode& message, uint64_t sender);
    void onOpenAck(const XmlNode& message, uint64_t sender);
    void onChannelSuccess(const XmlNode& message, uint64_t sender);
    void onCloseChannel(const XmlNode& message, uint64_t sender);
    void onJoinServerChannel(const XmlNode& message, uint64_t sender);
    // The server's answer to OPEN_SERVER_CHANNEL with protocol "udp".
    void onServerChannelOpened(const XmlNode& reply);

    // The opener's handshake: probing, and the relay when probing fails.
    bool establishChannel(UdpChannel& channel);
    bool probeAsInitiator(UdpChannel& channel, int windowMs);
    bool probeAsResponder(UdpChannel& channel);
    bool requestRelay(UdpChannel& channel);

    Timing timing;

    // Hands one received datagram to the channel its header names, or drops it (too short,
    // for another user, for no channel, from someone other than the channel's peer, or, once
    // the channel is open, from another address). The manager's thread; the tests and the
    // fuzz target call it directly.
    void dispatch(const SocketAddress& source, const uint8_t* bytes, int length);

private:
    void serve(SocketHandle socket);
    void sendQueued(SocketHandle socket);
    void queue(std::unique_ptr<UdpPacket> packet);
    std::unique_ptr<UdpPacket> packetFor(UdpChannel& channel, uint8_t type, const SocketAddress* address);
    void wake();

    void sendClose(UdpChannel& channel, int times);
    void sendSetUp(uint64_t user, XmlNode& message);
    friend class UdpResponderThread;

    const std::atomic<uint64_t>& ownUserId_;
    SystemModule* system_ = nullptr;
    std::atomic<uint16_t> boundPort_{0};
    WakeSignal wake_;

    std::mutex channelsLock_;
    std::vector<UdpChannel*> channels_;

    std::mutex queueLock_;
    std::deque<std::unique_ptr<UdpPacket>> sendQueue_;

    // The manager's thread's own.
    ByteArray sendBuffer_;
};

} // namespace orvane
