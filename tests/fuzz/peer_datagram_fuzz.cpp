// Datagrams from anyone to the shared UDP socket: arbitrary bytes cut into datagrams, each
// from a source the input picks. Every header is read back against a reading of the bytes
// by hand, and every datagram is dispatched to a table of channels in the states a channel
// goes through. A datagram may reach a channel only when it is addressed to this user and
// to that channel, comes from the channel's peer and, once the channel is open, from where
// the handshake found the peer; a data datagram then delivers exactly its payload, and
// nothing else reaches any channel.
#include "tests/fuzz/FuzzSupport.h"
#include "core/channels/UdpChannel.h"
#include "core/channels/UdpChannelManager.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using namespace orvane;
using orvane::fuzzing::check;

namespace {

constexpr uint64_t OwnId = 7;

uint64_t bigEndian(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

SocketAddress endpoint(const char* host, int port)
{
    SocketAddress a;
    a.setHost(host, port);
    return a;
}

struct ChannelSpec {
    int id;
    uint64_t peer;
    int state;
};

// Open to bob, answering and probing for bob, open to carl, and one closed.
const ChannelSpec Specs[] = {
    {10000, 12, UdpChannel::Open},
    {10001, 12, UdpChannel::Answering},
    {10002, 12, UdpChannel::Probing},
    {10003, 34, UdpChannel::Open},
    {10004, 12, UdpChannel::Closed},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::atomic<uint64_t> ownId{OwnId};
    static UdpChannelManager* manager = new UdpChannelManager(ownId);
    const SocketAddress sources[] = {endpoint("127.0.0.2", 4000), endpoint("127.0.0.3", 5000),
                                     endpoint("10.0.0.1", 1)};

    std::vector<UdpChannel*> channels;
    for (const ChannelSpec& spec : Specs) {
        auto* channel = new UdpChannel(*manager);
        channel->localConnectionId = spec.id;
        channel->peerUserId = spec.peer;
        channel->setPeerAddress(sources[0]);
        channel->setState(spec.state);
        if (spec.state == UdpChannel::Closed)
            channel->markClosed();
        manager->addChannel(*channel);
        channels.push_back(channel);
    }

    // Each datagram: its length, the source it comes from, then its bytes.
    size_t at = 0;
    while (at + 2 <= size) {
        const size_t length = std::min<size_t>(data[at], size - at - 2);
        const SocketAddress& source = sources[data[at + 1] % 3];
        const uint8_t* bytes = data + at + 2;
        at += 2 + length;

        UdpPacket header;
        const bool read = header.decodeHeader(bytes, static_cast<int>(length));
        check(read == (length >= UdpPacket::HeaderSize));
        int expected = -1;
        uint8_t type = 0;
        if (read) {
            type = bytes[1];
            check(header.type == type);
            check(header.recipientConnectionId == bigEndian(bytes + 4, 4));
            check(header.relayConnectionId == bigEndian(bytes + 8, 4));
            check(header.senderUserId == bigEndian(bytes + 12, 8));
            check(header.recipientUserId == bigEndian(bytes + 20, 8));
            for (size_t c = 0; c < channels.size(); ++c) {
                UdpChannel& channel = *channels[c];
                if (channel.localConnectionId.load() != static_cast<int>(header.recipientConnectionId))
                    continue;
                const SocketAddress peer = channel.peerAddress();
                const bool fromPeer = peer.getAddress() == source.getAddress() && peer.getPort() == source.getPort();
                if (header.recipientUserId == OwnId && header.senderUserId == channel.peerUserId.load() &&
                    (channel.state() != UdpChannel::Open || fromPeer))
                    expected = static_cast<int>(c);
                break;
            }
        }

        manager->dispatch(source, bytes, static_cast<int>(length));

        for (size_t c = 0; c < channels.size(); ++c) {
            UdpChannel& channel = *channels[c];
            if (static_cast<int>(c) == expected && type == UdpPacket::Close)
                check(channel.state() == UdpChannel::Closed);
            if (channel.state() == UdpChannel::Closed) {
                // What reaches a closed channel waits for nobody: taken out, unchecked.
                while (channel.receive(0) >= 0) {
                }
                continue;
            }
            uint8_t taken = 0;
            if (static_cast<int>(c) != expected) {
                check(!channel.receiveControl(taken, 0));
            } else if (type == UdpPacket::Data && length > UdpPacket::HeaderSize) {
                const int n = channel.receive(0);
                check(n == static_cast<int>(length) - UdpPacket::HeaderSize);
                check(std::memcmp(channel.data(), bytes + UdpPacket::HeaderSize, static_cast<size_t>(n)) == 0);
            } else {
                check(channel.receiveControl(taken, 0));
                check(taken == (type == UdpPacket::Data ? UdpPacket::Received : type));
            }
        }
    }

    for (UdpChannel* channel : channels) {
        manager->removeChannel(*channel);
        delete channel;
    }
    return 0;
}
