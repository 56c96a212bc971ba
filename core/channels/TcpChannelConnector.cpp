#include "core/channels/TcpChannelConnector.h"

#include "core/Diagnostics.h"
#include "core/app/ClientApp.h"
#include "core/channels/Packet.h"
#include "core/channels/RelayJoinThread.h"
#include "core/channels/SystemModule.h"
#include "core/channels/TcpModuleConnection.h"
#include "foundation/Clock.h"
#include "foundation/Conversions.h"

namespace orvane {

const char* tcpPathName(TcpPath path)
{
    switch (path) {
    case TcpPath::DirectLocalThroughProxy: return "direct-local-proxy";
    case TcpPath::DirectExternal: return "direct-external";
    case TcpPath::DirectLocal: return "direct-local";
    case TcpPath::ConnectBack: return "connect-back";
    case TcpPath::Relay: return "relay";
    default: return "none";
    }
}

namespace {

String text(const XmlNode& node, const char* name)
{
    return node.childOrEmpty(name)->value;
}

XmlNode setUpRecord(const char* command, const char* moduleId, uint64_t sender, uint64_t recipient,
                    const String* connectionId = nullptr)
{
    XmlNode record("packet");
    record.addChild("command", command);
    if (connectionId)
        record.addChild("connection_id", connectionId->c_str());
    record.addChild("module_id", moduleId);
    record.addChild("sender_id", uint64ToString(sender).c_str());
    record.addChild("recipient_id", uint64ToString(recipient).c_str());
    return record;
}

bool isYes(const String& value)
{
    return value.equalsIgnoreCase("yes") || value.equalsIgnoreCase("true") || value == "1";
}

} // namespace

// ---- the listening side ---------------------------------------------------------------------

TcpChannelConnector::TcpChannelConnector(SystemModule& system) : system_(system), app_(system.app()) {}

TcpChannelConnector::~TcpChannelConnector()
{
    stop();
}

void TcpChannelConnector::start()
{
    // Started once; again only after a stop.
    if (boundPort_.load() != 0)
        return;
    const AccountSettings& account = app_.account();
    SocketAddress address;
    address.setHost(account.bindAddress.isEmpty() ? nullptr : account.bindAddress.c_str(), account.bindPort);
    port_.limits.recordWaitMs = timing.recordWaitMs;
    port_.start(address);
    boundPort_.store(port_.address().getPort());
}

void TcpChannelConnector::stop()
{
    port_.stop();
    boundPort_.store(0);
}

TcpChannelConnector::SetUpDecision TcpChannelConnector::decide(const XmlNode& record)
{
    SetUpDecision decision;
    String command = text(record, "command");
    command.toUpper();
    decision.sender = parseUInt64(text(record, "sender_id").c_str());
    decision.moduleId = text(record, "module_id");
    const uint64_t recipient = parseUInt64(text(record, "recipient_id").c_str());
    if (command != "CONNECT_DIRECT" && command != "CONNECT_DIRECT_BACK")
        return decision; // not a set-up record: no answer at all
    decision.answer = "FAILED";
    if (recipient == 0 || recipient != system_.ownUserId())
        return decision;

    if (command == "CONNECT_DIRECT") {
        // Only a listed contact that asked for this program's addresses, for a module here.
        if (!isExpected(decision.sender) || !system_.isListedContact(decision.sender) ||
            !system_.isChannelModule(decision.moduleId)) {
            diagnostic("tcp channels: refused a direct connection that nothing here expected");
            return decision;
        }
        decision.action = SetUpDecision::HandOver;
    } else {
        // It must answer one of this program's own CONNECT_BACK messages, from its addressee.
        decision.request = system_.findRequest(parseInt(text(record, "connection_id").c_str()));
        if (!decision.request || decision.request->purpose != ChannelRequest::ConnectBack ||
            decision.request->peerUserId != decision.sender) {
            diagnostic("tcp channels: refused a connection back that answers no request");
            decision.request.reset();
            return decision;
        }
        decision.action = SetUpDecision::DeliverBack;
    }
    decision.answer = "SUCCESS";
    return decision;
}

void TcpChannelConnector::carryOut(const SetUpDecision& decision, SocketHandle socket)
{
    if (decision.action == SetUpDecision::HandOver)
        handOverToModule(app_, socket, decision.moduleId, decision.sender);
    else if (decision.action == SetUpDecision::DeliverBack && decision.request)
        decision.request->deliver(socket); // closed there when the opener gave up meanwhile
    else
        closeSocket(socket);
}

void TcpChannelConnector::expectFrom(uint64_t sender)
{
    std::lock_guard<std::mutex> guard(expectLock_);
    const int64_t now = monotonicMillis();
    // Old entries go as new ones come, so the map stays as small as the recent askers.
    for (auto it = expected_.begin(); it != expected_.end();)
        it = it->second <= now ? expected_.erase(it) : std::next(it);
    expected_[sender] = now + timing.expectationMs;
}

bool TcpChannelConnector::isExpected(uint64_t sender)
{
    std::lock_guard<std::mutex> guard(expectLock_);
    const auto it = expected_.find(sender);
    return it != expected_.end() && it->second > monotonicMillis();
}

// ---- the opening side -----------------------------------------------------------------------

SocketHandle TcpChannelConnector::connectDirect(const String& address, int port, const XmlNode& record,
                                                bool throughProxy)
{
    if (address.isEmpty() || port <= 0 || port > 65535)
        return NoSocket;
    SocketHandle socket = NoSocket;
    try {
        SocketAddress destination;
        destination.setHost(address.c_str(), port);
        if (throughProxy) {
            socket = app_.connection().connectThroughProxy(destination, timing.proxyConnectMs);
        } else {
            socket = createSocket(true);
            connectSocketTimeout(socket, destination, timing.directConnectMs);
        }
        if (socket == NoSocket)
            return NoSocket;
        Packet packet(socket, timing.recordAnswerMs);
        packet.write(record);
        String answer;
        packet.read(answer);
        answer.toUpper();
        if (answer == "SUCCESS")
            return socket;
    } catch (const Exception&) {
    }
    closeSocket(socket);
    return NoSocket;
}

IModuleConnection* TcpChannelConnector::openTcpChannel(const char* userId, const char* moduleId)
{
    const uint64_t peer = userId ? parseUInt64(userId) : 0;
    const String module = moduleId ? moduleId : "";
    const uint64_t own = system_.ownUserId();
    if (peer == 0 || own == 0)
        return nullptr;

    // The peer's addresses first; without them nothing is tried.
    auto asked = system_.addRequest(ChannelRequest::Ask);
    asked->peerUserId = peer;
    asked->moduleId = module;
    const bool answered = system_.await(asked, [&] {
        XmlNode ask;
        ask.addChild("command", "ASK_TCP_SERVER_IP_PORT");
        ask.addChild("connection_id", intToString(asked->connectionId).c_str());
        ask.addChild("user_id", uint64ToString(own).c_str());
        system_.sendToUser(peer, ask);
    }, timing.answerMs);
    if (!answered)
        return nullptr;

    const AdvertisedEndpoint::Value advertised = app_.advertised().get();
    const String localAddress = app_.connection().values().localAddress;
    const bool isPublic = localAddress == advertised.address;
    const XmlNode record = setUpRecord("CONNECT_DIRECT", module.c_str(), own, peer);

    struct Attempt {
        bool when;
        const String& host;
        int port;
        bool throughProxy;
        TcpPath path;
    } attempts[] = {
        {asked->peerLocalHost == asked->peerExternalHost, asked->peerLocalHost, asked->peerLocalPort, true,
         TcpPath::DirectLocalThroughProxy},
        {asked->peerManual, asked->peerExternalHost, asked->peerExternalPort, true, TcpPath::DirectExternal},
        {true, asked->peerLocalHost, asked->peerLocalPort, false, TcpPath::DirectLocal},
    };
    for (const Attempt& attempt : attempts) {
        if (!attempt.when)
            continue;
        const SocketHandle socket = connectDirect(attempt.host, attempt.port, record, attempt.throughProxy);
        if (socket != NoSocket) {
            lastPath_.store(attempt.path);
            return new TcpModuleConnection(socket);
        }
    }
    if (isPublic || advertised.manualSettings) {
        const SocketHandle socket = connectBack(asked, peer, module);
        if (socket != NoSocket) {
            lastPath_.store(TcpPath::ConnectBack);
            return new TcpModuleConnection(socket);
        }
    }
    const SocketHandle socket = relay(peer, module);
    if (socket != NoSocket) {
        lastPath_.store(TcpPath::Relay);
        return new TcpModuleConnection(socket);
    }
    lastPath_.store(TcpPath::None);
    return nullptr;
}

SocketHandle TcpChannelConnector::connectBack(const std::shared_ptr<ChannelRequest>&, uint64_t peer,
                                              const String& moduleId)
{
    const AdvertisedEndpoint::Value advertised = app_.advertised().get();
    auto request = system_.addRequest(ChannelRequest::ConnectBack);
    request->peerUserId = peer;
    request->moduleId = moduleId;
    const bool answered = system_.await(request, [&] {
        XmlNode message;
        message.addChild("command", "CONNECT_BACK");
        message.addChild("connection_id", intToString(request->connectionId).c_str());
        message.addChild("user_id", uint64ToString(system_.ownUserId()).c_str());
        message.addChild("module_id", moduleId.c_str());
        message.addChild("ip_address", advertised.address.c_str());
        message.addChild("port", intToString(advertised.tcpPort).c_str());
        system_.sendToUser(peer, message);
    }, timing.answerMs);
    return answered ? request->takeResult() : NoSocket;
}

SocketHandle TcpChannelConnector::relay(uint64_t peer, const String& moduleId)
{
    auto request = system_.addRequest(ChannelRequest::TcpRelay);
    request->peerUserId = peer;
    request->moduleId = moduleId;
    // One wait covers the server's answer and the join that follows it.
    const bool answered = system_.await(request, [&] {
        app_.connection().sendOpenServerChannel("tcp", request->connectionId, {system_.ownUserId(), peer});
    }, timing.answerMs);
    return answered ? request->takeResult() : NoSocket;
}

// ---- the messages ---------------------------------------------------------------------------

void TcpChannelConnector::onAskAddresses(const XmlNode& message, uint64_t sender)
{
    // A contact's ask is what makes its direct connections welcome here; a stranger learns
    // nothing of this program's addresses.
    if (!system_.isListedContact(sender))
        return;
    expectFrom(sender);
    const AdvertisedEndpoint::Value advertised = app_.advertised().get();
    XmlNode answer;
    answer.addChild("command", "TCP_SERVER_IP_PORT");
    answer.addChild("user_id", uint64ToString(system_.ownUserId()).c_str());
    answer.addChild("connection_id", intToString(parseInt(text(message, "connection_id").c_str())).c_str());
    answer.addChild("external_address", advertised.address.c_str());
    answer.addChild("local_address", app_.connection().values().localAddress.c_str());
    answer.addChild("local_port", intToString(boundPort()).c_str());
    answer.addChild("external_port", intToString(advertised.tcpPort).c_str());
    answer.addChild("manual_settings", advertised.manualSettings ? "yes" : "no");
    system_.sendToUser(sender, answer);
}

void TcpChannelConnector::onAddresses(const XmlNode& message, uint64_t sender)
{
    const auto request = system_.findRequest(parseInt(text(message, "connection_id").c_str()));
    if (!request || request->purpose != ChannelRequest::Ask || request->peerUserId != sender)
        return;
    request->answer([&message](ChannelRequest& r) {
        r.peerExternalHost = text(message, "external_address");
        r.peerLocalHost = text(message, "local_address");
        r.peerExternalPort = parseInt(text(message, "external_port").c_str());
        r.peerLocalPort = parseInt(text(message, "local_port").c_str());
        r.peerManual = isYes(text(message, "manual_settings"));
    });
}

void TcpChannelConnector::onConnectBack(const XmlNode& message, uint64_t sender)
{
    // Nobody but a listed contact makes this program connect anywhere, and only for a
    // module that can take the channel; a connector that is not up (not started, or
    // stopped at the module's end) starts nothing.
    const String moduleId = text(message, "module_id");
    if (boundPort() == 0 || !system_.isListedContact(sender) || !system_.isChannelModule(moduleId))
        return;
    const String connectionId = text(message, "connection_id");
    const XmlNode record =
        setUpRecord("CONNECT_DIRECT_BACK", moduleId.c_str(), system_.ownUserId(), sender, &connectionId);
    const String address = text(message, "ip_address");
    const int port = parseInt(text(message, "port").c_str());
    // The connect and its answer take up to seconds: never on the user-interface thread.
    if (!ConnectBackThread::launch(system_, address, port, record, moduleId, sender))
        diagnostic("tcp channels: too many channels are being set up; a connection back was not made");
}

void TcpChannelConnector::onServerChannelOpened(const XmlNode& reply)
{
    const auto request = system_.findRequest(parseInt(text(reply, "user_conn_id").c_str()));
    if (!request || request->purpose != ChannelRequest::TcpRelay)
        return;
    String response = text(reply, "response");
    response.toUpper();
    if (response != "SUCCESS") {
        request->deliver(NoSocket);
        return;
    }
    const String address = text(reply, "ip_address");
    const int port = parseInt(text(reply, "port").c_str());
    const int relayId = parseInt(text(reply, "srvr_conn_id").c_str());
    // One join per request: a repeated reply starts no second thread.
    bool first = false;
    if (!request->update([&](ChannelRequest& r) {
            first = r.relayConnectionId == 0;
            if (!first)
                return;
            r.relayConnectionId = relayId;
            r.peerExternalHost = r.peerLocalHost = address;
            r.peerExternalPort = r.peerLocalPort = port;
        }) ||
        !first)
        return;
    if (!RelayJoinThread::launch(system_, address, port, relayId, request, timing.relayJoinAnswerMs))
        return; // the opener has its answer: no channel

    XmlNode join;
    join.addChild("command", "JOIN_SERVER_CHANNEL");
    join.addChild("protocol", "tcp");
    join.addChild("user_id", uint64ToString(system_.ownUserId()).c_str());
    join.addChild("module_id", request->moduleId.c_str());
    join.addChild("connection_id", intToString(relayId).c_str());
    join.addChild("ip_address", address.c_str());
    join.addChild("port", intToString(port).c_str());
    system_.sendToUser(request->peerUserId, join);
}

void TcpChannelConnector::onJoinServerChannel(const XmlNode& message, uint64_t sender)
{
    const String moduleId = text(message, "module_id");
    if (boundPort() == 0 || !system_.isListedContact(sender) || !system_.isChannelModule(moduleId))
        return;
    if (!RelayJoinThread::launch(system_, text(message, "ip_address"), parseInt(text(message, "port").c_str()),
                                 parseInt(text(message, "connection_id").c_str()), moduleId, sender,
                                 timing.relayJoinAnswerMs))
        diagnostic("tcp channels: too many channels are being set up; a relay was not joined");
}

} // namespace orvane
