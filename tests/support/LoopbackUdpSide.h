#pragma once

// One program's datagram side on loopback for tests: a channel manager with its own user
// id and socket, and open channels towards another such side, set up as a finished
// handshake leaves them.

#include "core/channels/UdpChannelManager.h"
#include "tests/foundation/ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

namespace orvane::testing {

// One program's side: its manager with its user id, bound on loopback.
struct UdpSide {
    std::atomic<uint64_t> userId;
    UdpChannelManager manager{userId};

    explicit UdpSide(uint64_t id) : userId(id)
    {
        manager.bindAddress.setHost("127.0.0.1", 0);
        manager.init();
        manager.start();
        EXPECT_TRUE(awaitCondition([this] { return manager.isBound(); }));
    }

    SocketAddress address() const
    {
        SocketAddress a;
        a.setHost("127.0.0.1", manager.boundPort());
        return a;
    }

    // An open channel of this side towards the other.
    UdpChannel* channel(int localId, int peerId, const UdpSide& peer)
    {
        auto* channel = new UdpChannel(manager);
        channel->localConnectionId = localId;
        channel->peerConnectionId = peerId;
        channel->peerUserId = peer.userId.load();
        channel->setPeerAddress(peer.address());
        channel->setState(UdpChannel::Open);
        manager.addChannel(*channel);
        return channel;
    }
};

} // namespace orvane::testing
