#include "core/channels/UdpChannel.h"

#include "core/FrameCodec.h"
#include "core/channels/UdpChannelManager.h"

#include <chrono>
#include <cstring>

namespace orvane {

// ---- the datagram ---------------------------------------------------------------------------

void UdpPacket::encode(ByteArray& out) const
{
    out.setSize(HeaderSize + payload.count());
    uint8_t* p = out.data();
    p[0] = Magic;
    p[1] = type;
    p[2] = 0;
    p[3] = 0;
    putBigEndian(p + 4, recipientConnectionId, 4);
    putBigEndian(p + 8, relayConnectionId, 4);
    putBigEndian(p + 12, senderUserId, 8);
    putBigEndian(p + 20, recipientUserId, 8);
    if (payload.count() > 0)
        std::memcpy(p + HeaderSize, payload.data(), static_cast<size_t>(payload.count()));
}

bool UdpPacket::decodeHeader(const uint8_t* bytes, int length)
{
    if (!bytes || length < HeaderSize)
        return false;
    type = bytes[1];
    recipientConnectionId = static_cast<uint32_t>(getBigEndian(bytes + 4, 4));
    relayConnectionId = static_cast<uint32_t>(getBigEndian(bytes + 8, 4));
    senderUserId = getBigEndian(bytes + 12, 8);
    recipientUserId = getBigEndian(bytes + 20, 8);
    return true;
}

// ---- the channel ----------------------------------------------------------------------------

UdpChannel::UdpChannel(UdpChannelManager& manager) : manager_(manager), received_(100) {}

UdpChannel::~UdpChannel() = default;

SocketAddress UdpChannel::peerAddress() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return peerAddress_;
}

void UdpChannel::setPeerAddress(const SocketAddress& address)
{
    std::lock_guard<std::mutex> guard(lock_);
    peerAddress_ = address;
}

SocketAddress UdpChannel::peerExternal() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return peerExternal_;
}

SocketAddress UdpChannel::peerLocal() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return peerLocal_;
}

void UdpChannel::setPeerEndpoints(const SocketAddress& external, const SocketAddress& local)
{
    std::lock_guard<std::mutex> guard(lock_);
    peerExternal_ = external;
    peerLocal_ = local;
}

void UdpChannel::send(const void* data, int length)
{
    if (state() == Closed || !data || length <= 0)
        return;
    manager_.queueData(*this, data, length);
}

void UdpChannel::sendControl(uint8_t type, const SocketAddress* address)
{
    manager_.queueControl(*this, type, address);
}

void UdpChannel::close()
{
    markClosed();
    manager_.removeChannel(*this);
    delete this;
}

void UdpChannel::setState(int state)
{
    std::lock_guard<std::mutex> guard(lock_);
    state_.store(closedForGood_.load() ? static_cast<int>(Closed) : state);
}

void UdpChannel::markClosed()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        closedForGood_.store(true);
        state_.store(Closed);
    }
    arrived_.notify_all();
}

void UdpChannel::deliverData(const SocketAddress& source, const uint8_t* payload, int length)
{
    auto packet = std::make_unique<UdpPacket>();
    packet->address = source;
    packet->type = UdpPacket::Received;
    if (length > 0)
        packet->payload.write(0, payload, length);
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back(std::move(packet));
        // A receiver that falls behind loses the oldest, as a late network would.
        while (queue_.size() > MaxQueued) {
            queue_.pop_front();
            dropped_.fetch_add(1);
        }
    }
    arrived_.notify_one();
}

void UdpChannel::deliverControl(const SocketAddress& source, uint8_t type)
{
    auto packet = std::make_unique<UdpPacket>();
    packet->address = source;
    packet->type = type;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (type == UdpPacket::Close) {
            closedForGood_.store(true);
            state_.store(Closed);
        }
        queue_.push_back(std::move(packet));
        while (queue_.size() > MaxQueued) {
            queue_.pop_front();
            dropped_.fetch_add(1);
        }
    }
    if (type == UdpPacket::Close)
        arrived_.notify_all();
    else
        arrived_.notify_one();
}

bool UdpChannel::take(UdpPacket& out, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock_);
    auto ready = [this] { return !queue_.empty() || state_.load() == Closed; };
    // A zero time-out only looks: a timed wait, even for no time, sleeps for the timer's
    // slack.
    if (timeoutMs < 0)
        arrived_.wait(guard, ready);
    else if (timeoutMs > 0)
        arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready);
    if (queue_.empty())
        return false;
    std::unique_ptr<UdpPacket> packet = std::move(queue_.front());
    queue_.pop_front();
    const int current = state_.load();
    if (current == Probing || current == Answering)
        peerAddress_ = packet->address;
    out.address = packet->address;
    out.type = packet->type;
    out.payload = std::move(packet->payload);
    return true;
}

int UdpChannel::receive(int timeoutMs)
{
    received_.setSize(0);
    if (state() == Closed) {
        // What arrived before the close is still handed out, then the close is reported.
        std::lock_guard<std::mutex> guard(lock_);
        if (queue_.empty())
            return -1;
    }
    UdpPacket packet;
    if (!take(packet, timeoutMs))
        return state() == Closed ? -1 : 0;
    if (packet.type != UdpPacket::Received)
        return 0;
    received_ = std::move(packet.payload);
    return received_.count();
}

bool UdpChannel::receiveControl(uint8_t& type, int timeoutMs)
{
    type = 0;
    if (state() == Closed)
        return false;
    UdpPacket packet;
    if (!take(packet, timeoutMs))
        return false;
    type = packet.type;
    return true;
}

} // namespace orvane
