// The set-up of datagram channels: the endpoints exchanged through the system module's
// messages, the probing handshake straight to the peer, and the server's relay when no
// probe gets through.
#include "core/channels/UdpChannelManager.h"

#include "core/Diagnostics.h"
#include "core/app/ClientApp.h"
#include "core/channels/SystemModule.h"
#include "foundation/Clock.h"
#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"

namespace orvane {

namespace {

String text(const XmlNode& node, const char* name)
{
    return node.childOrEmpty(name)->value;
}

bool isYes(const String& value)
{
    return value.equalsIgnoreCase("yes") || value.equalsIgnoreCase("true") || value == "1";
}

// An endpoint from the texts of a message; an empty or unresolvable address is the any
// address, which no probe is sent to.
SocketAddress endpointOf(const String& address, int port)
{
    SocketAddress endpoint;
    if (port < 0 || port > 65535)
        port = 0;
    try {
        endpoint.setHost(address.isEmpty() ? nullptr : address.c_str(), port);
    } catch (const Exception&) {
        endpoint.setAddress(0, port);
    }
    return endpoint;
}

bool sameEndpoint(const SocketAddress& a, const SocketAddress& b)
{
    return a.getAddress() == b.getAddress() && a.getPort() == b.getPort();
}

bool sendable(const SocketAddress& target)
{
    return target.getAddress() != 0 && target.getPort() != 0;
}

} // namespace

// The answering side's part of one handshake, on a thread of its own; it hands the channel
// to its module through the event queue when the opener confirms it, and closes it
// otherwise. The thread deletes itself.
class UdpResponderThread : public Thread {
public:
    UdpResponderThread(UdpChannelManager& manager, UdpChannel& channel) : manager_(manager), channel_(channel) {}

    void run() override
    {
        SystemModule& system = *manager_.system_;
        UdpChannelManager& manager = manager_;
        UdpChannel& channel = channel_;
        socketStartup();
        bool confirmed = false;
        try {
            confirmed = manager.probeAsResponder(channel);
        } catch (...) {
            confirmed = false;
        }
        const uint64_t peer = channel.peerUserId.load();
        if (confirmed)
            system.app().postChannel(&channel, channel.moduleId, peer);
        else
            channel.close();
        socketCleanup();
        system.threadEnded(SystemModule::SetUpThread::Udp, peer);
    }
    bool deleteWhenDone() override { return true; }

private:
    UdpChannelManager& manager_;
    UdpChannel& channel_;
};

void UdpChannelManager::sendSetUp(uint64_t user, XmlNode& message)
{
    if (system_)
        system_->sendToUser(user, message);
}

void UdpChannelManager::sendClose(UdpChannel& channel, int times)
{
    XmlNode message;
    message.addChild("command", "CLOSE_UDP_CHANNEL");
    message.addChild("rcpt_conn_id", intToString(channel.peerConnectionId.load()).c_str());
    message.addChild("sndr_conn_id", intToString(channel.localConnectionId.load()).c_str());
    message.addChild("srvr_conn_id", intToString(channel.relayConnectionId.load()).c_str());
    for (int i = 0; i < times; ++i)
        sendSetUp(channel.peerUserId.load(), message);
}

// ---- the opening side -----------------------------------------------------------------------

UdpChannel* UdpChannelManager::openUdpChannel(const char* userId, const char* moduleId)
{
    if (!system_ || !userId || !moduleId || !system_->app().findModule(moduleId) || !isBound())
        return nullptr;
    ClientApp& app = system_->app();
    const uint64_t peer = parseUInt64(userId);
    const uint64_t own = ownUserId_.load();
    if (peer == 0 || own == 0)
        return nullptr;

    const AdvertisedEndpoint::Value advertised = app.advertised().get();
    auto request = system_->addRequest(ChannelRequest::UdpOpen);
    request->peerUserId = peer;
    request->moduleId = moduleId;
    const bool answered = system_->await(request, [&] {
        XmlNode open;
        open.addChild("command", "OPEN_UDP_CHANNEL");
        open.addChild("sndr_conn_id", intToString(request->connectionId).c_str());
        open.addChild("rcpt_conn_id", "0");
        open.addChild("user_id", uint64ToString(own).c_str());
        open.addChild("external_address", advertised.address.c_str());
        open.addChild("external_port", intToString(advertised.udpPort).c_str());
        open.addChild("local_address", app.connection().values().localAddress.c_str());
        open.addChild("local_port", intToString(boundPort()).c_str());
        open.addChild("manual_settings", advertised.manualSettings ? "yes" : "no");
        open.addChild("module_id", moduleId);
        sendSetUp(peer, open);
    }, timing.answerMs);
    if (!answered)
        return nullptr;
    if ((request->peerExternalHost.isEmpty() && request->peerLocalHost.isEmpty()) || request->peerLocalPort == 0)
        return nullptr;

    auto* channel = new UdpChannel(*this);
    channel->localConnectionId = request->connectionId;
    channel->peerConnectionId = request->peerConnectionId;
    channel->peerUserId = peer;
    channel->moduleId = moduleId;
    channel->peerManual = request->peerManual;
    channel->setPeerEndpoints(endpointOf(request->peerExternalHost, request->peerExternalPort),
                              endpointOf(request->peerLocalHost, request->peerLocalPort));
    channel->setState(UdpChannel::Opening);
    addChannel(*channel);
    if (establishChannel(*channel))
        return channel;
    channel->close();
    return nullptr;
}

bool UdpChannelManager::establishChannel(UdpChannel& channel)
{
    ClientApp& app = system_->app();
    try {
        channel.setState(UdpChannel::Opening);
        const AdvertisedEndpoint::Value advertised = app.advertised().get();
        const bool isPublic = app.connection().values().localAddress == advertised.address;
        const bool peerSame = sameEndpoint(channel.peerExternal(), channel.peerLocal());
        const bool anyReachable = isPublic || peerSame || advertised.manualSettings || channel.peerManual.load();
        const int window = anyReachable ? timing.longWindowMs : timing.shortWindowMs;
        bool open = probeAsInitiator(channel, window);
        if (!open && requestRelay(channel))
            open = probeAsInitiator(channel, timing.longWindowMs);
        if (open) {
            XmlNode success;
            success.addChild("command", "UDP_CHANNEL_SUCCESS");
            success.addChild("rcpt_conn_id", intToString(channel.peerConnectionId.load()).c_str());
            success.addChild("sndr_conn_id", intToString(channel.localConnectionId.load()).c_str());
            success.addChild("srvr_conn_id", intToString(channel.relayConnectionId.load()).c_str());
            sendSetUp(channel.peerUserId.load(), success);
            return true;
        }
    } catch (const Exception&) {
    }
    sendClose(channel, 1);
    return false;
}

bool UdpChannelManager::probeAsInitiator(UdpChannel& channel, int windowMs)
{
    channel.setState(UdpChannel::Probing);
    const int64_t deadline = monotonicMillis() + (windowMs < 1 ? timing.longWindowMs : windowMs);
    SocketAddress targets[2] = {channel.peerExternal(), channel.peerLocal()};
    while (monotonicMillis() < deadline && channel.state() == UdpChannel::Probing) {
        try {
            for (const SocketAddress& target : targets)
                if (sendable(target))
                    channel.sendControl(UdpPacket::Probe, &target);
            uint8_t type = 0;
            if (!channel.receiveControl(type, timing.probeIntervalMs))
                continue;
            if (type == UdpPacket::Announce) {
                // Where the peer's datagrams come from is where it can be reached.
                targets[0] = targets[1] = channel.peerAddress();
            } else if (type == UdpPacket::ProbeAck) {
                channel.setState(UdpChannel::Open);
                return true;
            }
        } catch (const Exception&) {
        }
    }
    channel.setState(UdpChannel::Closed);
    return false;
}

bool UdpChannelManager::requestRelay(UdpChannel& channel)
{
    ClientApp& app = system_->app();
    const uint64_t peer = channel.peerUserId.load();
    auto request = system_->addRequest(ChannelRequest::UdpRelay);
    request->peerUserId = peer;
    request->moduleId = channel.moduleId;
    const bool answered = system_->await(request, [&] {
        app.connection().sendOpenServerChannel("udp", request->connectionId, {ownUserId_.load(), peer});
    }, timing.answerMs);
    if (!answered || (request->peerExternalPort == 0 && request->peerLocalPort == 0))
        return false;

    XmlNode join;
    join.addChild("command", "JOIN_SERVER_CHANNEL");
    join.addChild("rcpt_conn_id", intToString(channel.peerConnectionId.load()).c_str());
    join.addChild("sndr_conn_id", intToString(channel.localConnectionId.load()).c_str());
    join.addChild("srvr_conn_id", intToString(request->relayConnectionId).c_str());
    join.addChild("user_id", uint64ToString(ownUserId_.load()).c_str());
    join.addChild("protocol", "udp");
    join.addChild("ip_address", request->peerExternalHost.c_str());
    join.addChild("port", intToString(request->peerExternalPort).c_str());
    sendSetUp(peer, join);

    const SocketAddress relay = endpointOf(request->peerExternalHost, request->peerExternalPort);
    channel.relayConnectionId = request->relayConnectionId;
    channel.setPeerEndpoints(relay, relay);
    channel.setPeerAddress(relay);
    return true;
}

void UdpChannelManager::onOpenAck(const XmlNode& message, uint64_t sender)
{
    const auto request = system_->findRequest(parseInt(text(message, "rcpt_conn_id").c_str()));
    if (!request || request->purpose != ChannelRequest::UdpOpen || request->peerUserId != sender)
        return;
    request->answer([&message](ChannelRequest& r) {
        r.peerConnectionId = parseInt(text(message, "sndr_conn_id").c_str());
        r.peerExternalHost = text(message, "external_address");
        r.peerLocalHost = text(message, "local_address");
        r.peerExternalPort = parseInt(text(message, "external_port").c_str());
        r.peerLocalPort = parseInt(text(message, "local_port").c_str());
        r.peerManual = isYes(text(message, "manual_settings"));
    });
}

void UdpChannelManager::onServerChannelOpened(const XmlNode& reply)
{
    const auto request = system_->findRequest(parseInt(text(reply, "user_conn_id").c_str()));
    if (!request || request->purpose != ChannelRequest::UdpRelay)
        return;
    String response = text(reply, "response");
    response.toUpper();
    const bool granted = response == "SUCCESS";
    request->answer([&](ChannelRequest& r) {
        r.relayConnectionId = granted ? parseInt(text(reply, "srvr_conn_id").c_str()) : 0;
        r.peerExternalHost = r.peerLocalHost = granted ? text(reply, "ip_address") : String();
        r.peerExternalPort = r.peerLocalPort = granted ? parseInt(text(reply, "port").c_str()) : 0;
    });
}

// ---- the answering side ---------------------------------------------------------------------

void UdpChannelManager::onOpenUdpChannel(const XmlNode& message, uint64_t sender)
{
    if (!system_ || !isBound())
        return;
    ClientApp& app = system_->app();
    // Work starts only for a listed contact and a module that is here, and only so many
    // handshakes answer at once.
    const String moduleId = text(message, "module_id");
    if (!system_->isListedContact(sender) || !system_->isChannelModule(moduleId))
        return;
    if (!system_->threadStarting(SystemModule::SetUpThread::Udp, sender)) {
        diagnostic("udp channels: too many channels are being set up; one from a contact was refused");
        return;
    }

    auto* channel = new UdpChannel(*this);
    channel->localConnectionId = system_->newConnectionId();
    channel->peerConnectionId = parseInt(text(message, "sndr_conn_id").c_str());
    channel->peerUserId = sender;
    channel->moduleId = moduleId;
    channel->peerManual = isYes(text(message, "manual_settings"));
    channel->setPeerEndpoints(
        endpointOf(text(message, "external_address"), parseInt(text(message, "external_port").c_str())),
        endpointOf(text(message, "local_address"), parseInt(text(message, "local_port").c_str())));
    channel->setState(UdpChannel::Answering);
    addChannel(*channel);
    // The channel is the responder's from its start, which may close it at once (the
    // manager stopping): what the answer needs is read before.
    const int localId = channel->localConnectionId.load();
    const int peerId = channel->peerConnectionId.load();

    auto* responder = new UdpResponderThread(*this, *channel);
    try {
        responder->init();
        responder->start();
    } catch (const Exception&) {
        delete responder;
        system_->threadEnded(SystemModule::SetUpThread::Udp, sender);
        channel->close();
        return;
    }

    const AdvertisedEndpoint::Value advertised = app.advertised().get();
    XmlNode ack;
    ack.addChild("command", "OPEN_UDP_CHANNEL_ACK");
    ack.addChild("sndr_conn_id", intToString(localId).c_str());
    ack.addChild("rcpt_conn_id", intToString(peerId).c_str());
    ack.addChild("external_address", advertised.address.c_str());
    ack.addChild("local_address", app.connection().values().localAddress.c_str());
    ack.addChild("external_port", intToString(advertised.udpPort).c_str());
    ack.addChild("local_port", intToString(boundPort()).c_str());
    ack.addChild("manual_settings", advertised.manualSettings ? "yes" : "no");
    sendSetUp(sender, ack);
}

bool UdpChannelManager::probeAsResponder(UdpChannel& channel)
{
    channel.setState(UdpChannel::Answering);
    const int64_t deadline = monotonicMillis() + timing.responderMs;
    SocketAddress targets[2] = {channel.peerExternal(), channel.peerLocal()};
    bool heard = false;
    while (monotonicMillis() < deadline && channel.state() == UdpChannel::Answering) {
        try {
            if (channel.relayChanged.exchange(false)) {
                targets[0] = channel.peerExternal();
                targets[1] = channel.peerLocal();
            }
            for (const SocketAddress& target : targets)
                if (sendable(target))
                    channel.sendControl(heard ? UdpPacket::ProbeAck : UdpPacket::Announce, &target);
            uint8_t type = 0;
            if (channel.receiveControl(type, timing.probeIntervalMs) && type == UdpPacket::Probe) {
                heard = true;
                targets[0] = targets[1] = channel.peerAddress();
            }
        } catch (const Exception&) {
        }
    }
    if (channel.state() == UdpChannel::Confirmed) {
        channel.setState(UdpChannel::Open);
        return true;
    }
    channel.setState(UdpChannel::Closed);
    return false;
}

void UdpChannelManager::onChannelSuccess(const XmlNode& message, uint64_t sender)
{
    // Only a channel that waits for it, and only from its peer: a repeated confirmation
    // changes nothing.
    withChannel(parseInt(text(message, "rcpt_conn_id").c_str()), [sender](UdpChannel& channel) {
        if (channel.peerUserId.load() != sender || channel.state() != UdpChannel::Answering)
            return;
        channel.setState(UdpChannel::Confirmed);
        channel.wake();
    });
}

void UdpChannelManager::onCloseChannel(const XmlNode& message, uint64_t sender)
{
    withChannel(parseInt(text(message, "rcpt_conn_id").c_str()), [sender](UdpChannel& channel) {
        if (channel.peerUserId.load() == sender)
            channel.markClosed();
    });
}

void UdpChannelManager::onJoinServerChannel(const XmlNode& message, uint64_t sender)
{
    if (!system_ || !system_->isListedContact(sender))
        return;
    const SocketAddress relay = endpointOf(text(message, "ip_address"), parseInt(text(message, "port").c_str()));
    const int relayId = parseInt(text(message, "srvr_conn_id").c_str());
    withChannel(parseInt(text(message, "rcpt_conn_id").c_str()), [&](UdpChannel& channel) {
        if (channel.peerUserId.load() != sender)
            return;
        channel.setPeerEndpoints(relay, relay);
        channel.setPeerAddress(relay);
        channel.relayConnectionId = relayId;
        channel.relayChanged = true;
    });
}

} // namespace orvane
