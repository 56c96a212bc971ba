#include "core/channels/UdpChannelManager.h"

#include "core/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace orvane {

namespace {

// The largest datagram taken in; anything longer is refused by the socket layer.
constexpr int ReceiveBufferSize = 3600;
// How long the thread waits for a datagram when nothing wakes it; a queued datagram and a
// stop request wake it at once.
constexpr int IdleWaitMs = 250;
// Datagrams waiting to be sent: beyond this the oldest go, as a congested network would
// drop them.
constexpr size_t MaxSendQueue = 4096;

} // namespace

UdpChannelManager::UdpChannelManager(const std::atomic<uint64_t>& ownUserId)
    : ownUserId_(ownUserId), sendBuffer_(500)
{
    if (!wake_.isOk())
        throw ThreadCreateException();
    sendBuffer_.setCapacity(ReceiveBufferSize);
}

UdpChannelManager::~UdpChannelManager()
{
    stop();
}

void UdpChannelManager::wake()
{
    wake_.signal();
}

void UdpChannelManager::stop()
{
    const State state = getState();
    if (state == Constructed || state == Ready || state == Finished)
        return;
    Thread::stop(false);
    wake();
    Thread::stop(true);
}

// ---- the table and the queue ----------------------------------------------------------------

void UdpChannelManager::addChannel(UdpChannel& channel)
{
    std::lock_guard<std::mutex> guard(channelsLock_);
    channels_.push_back(&channel);
}

UdpChannel* UdpChannelManager::findChannel(int connectionId)
{
    std::lock_guard<std::mutex> guard(channelsLock_);
    for (UdpChannel* channel : channels_)
        if (channel->localConnectionId.load() == connectionId)
            return channel;
    return nullptr;
}

bool UdpChannelManager::withChannel(int connectionId, const std::function<void(UdpChannel&)>& action)
{
    std::lock_guard<std::mutex> guard(channelsLock_);
    for (UdpChannel* channel : channels_) {
        if (channel->localConnectionId.load() == connectionId) {
            action(*channel);
            return true;
        }
    }
    return false;
}

bool UdpChannelManager::removeChannel(UdpChannel& channel)
{
    {
        std::lock_guard<std::mutex> guard(channelsLock_);
        auto it = std::find(channels_.begin(), channels_.end(), &channel);
        if (it == channels_.end())
            return false;
        channels_.erase(it);
    }
    if (system_ && channel.peerConnectionId.load() != 0)
        sendClose(channel, 3);
    return true;
}

int UdpChannelManager::channelCount()
{
    std::lock_guard<std::mutex> guard(channelsLock_);
    return static_cast<int>(channels_.size());
}

void UdpChannelManager::closeChannelsOf(uint64_t userId)
{
    std::lock_guard<std::mutex> guard(channelsLock_);
    for (UdpChannel* channel : channels_)
        if (channel->peerUserId.load() == userId)
            channel->markClosed();
}

size_t UdpChannelManager::queuedDatagrams()
{
    std::lock_guard<std::mutex> guard(queueLock_);
    return sendQueue_.size();
}

std::unique_ptr<UdpPacket> UdpChannelManager::packetFor(UdpChannel& channel, uint8_t type,
                                                        const SocketAddress* address)
{
    auto packet = std::make_unique<UdpPacket>();
    packet->type = type;
    packet->address = address ? *address : channel.peerAddress();
    packet->senderUserId = ownUserId_.load();
    packet->recipientUserId = channel.peerUserId.load();
    packet->recipientConnectionId = static_cast<uint32_t>(channel.peerConnectionId.load());
    packet->relayConnectionId = static_cast<uint32_t>(channel.relayConnectionId.load());
    return packet;
}

void UdpChannelManager::queue(std::unique_ptr<UdpPacket> packet)
{
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        sendQueue_.push_back(std::move(packet));
        while (sendQueue_.size() > MaxSendQueue)
            sendQueue_.pop_front();
    }
    wake();
}

void UdpChannelManager::queueData(UdpChannel& channel, const void* data, int length)
{
    if (!data || length <= 0)
        return;
    std::unique_ptr<UdpPacket> packet = packetFor(channel, UdpPacket::Data, nullptr);
    packet->payload.write(0, data, length);
    queue(std::move(packet));
}

void UdpChannelManager::queueControl(UdpChannel& channel, uint8_t type, const SocketAddress* address)
{
    queue(packetFor(channel, type, address));
}

// ---- the thread -----------------------------------------------------------------------------

void UdpChannelManager::run()
{
    socketStartup();
    SocketHandle socket = NoSocket;
    try {
        socket = createSocket(false);
        bindSocket(socket, bindAddress);
        boundPort_.store(getLocalPort(socket));
        serve(socket);
    } catch (const ThreadStopException&) {
    } catch (const Exception&) {
        if (boundPort_.load() == 0)
            diagnostic("udp channels: cannot bind %s:%u", bindAddress.getHostAddress().c_str(),
                       static_cast<unsigned>(bindAddress.getPort()));
        else
            diagnostic("udp channels: the socket failed");
    }
    closeSocket(socket);
    boundPort_.store(0);
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        sendQueue_.clear();
    }
    // No datagram reaches the channels any more: their receivers learn it now.
    {
        std::lock_guard<std::mutex> guard(channelsLock_);
        for (UdpChannel* channel : channels_)
            channel->markClosed();
    }
    socketCleanup();
}

void UdpChannelManager::serve(SocketHandle socket)
{
    uint8_t buffer[ReceiveBufferSize];
    for (;;) {
        Thread::checkStop();
        sendQueued(socket);
        pollfd fds[2] = {{socket, POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, IdleWaitMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw SocketException();
        }
        if (fds[1].revents & POLLIN)
            wake_.drain();
        if (!(fds[0].revents & (POLLIN | POLLERR)))
            continue;
        try {
            SocketAddress source;
            const int length = receiveFrom(socket, source, buffer, sizeof buffer, 0);
            if (length > 0)
                dispatch(source, buffer, length);
        } catch (const SocketException&) {
            // One bad datagram (too long, or an error reported for an earlier send) costs
            // nothing else.
        }
    }
}

void UdpChannelManager::sendQueued(SocketHandle socket)
{
    for (;;) {
        std::unique_ptr<UdpPacket> packet;
        {
            std::lock_guard<std::mutex> guard(queueLock_);
            if (sendQueue_.empty())
                return;
            packet = std::move(sendQueue_.front());
            sendQueue_.pop_front();
        }
        packet->encode(sendBuffer_);
        try {
            sendTo(socket, packet->address, sendBuffer_.data(), sendBuffer_.count());
        } catch (const SocketException&) {
            // A datagram that cannot go is lost like one the network drops.
        }
    }
}

void UdpChannelManager::dispatch(const SocketAddress& source, const uint8_t* bytes, int length)
{
    UdpPacket header;
    if (!header.decodeHeader(bytes, length))
        return;
    if (header.recipientUserId != ownUserId_.load())
        return;
    std::lock_guard<std::mutex> guard(channelsLock_);
    for (UdpChannel* channel : channels_) {
        if (channel->localConnectionId.load() != static_cast<int>(header.recipientConnectionId))
            continue;
        // Only the peer speaks on a channel, and once it is open only from where the
        // handshake found it (or the relay): anything else is someone else's datagram.
        if (header.senderUserId != channel->peerUserId.load())
            return;
        if (channel->state() == UdpChannel::Open) {
            const SocketAddress expected = channel->peerAddress();
            if (expected.getAddress() != source.getAddress() || expected.getPort() != source.getPort())
                return;
        }
        if (header.type == UdpPacket::Data)
            channel->deliverData(source, bytes + UdpPacket::HeaderSize, length - UdpPacket::HeaderSize);
        else
            channel->deliverControl(source, header.type);
        return;
    }
}

} // namespace orvane
