#include "core/channels/RelayJoinThread.h"

#include "core/app/ClientApp.h"
#include "core/channels/Packet.h"
#include "core/channels/SystemModule.h"
#include "core/channels/TcpChannelConnector.h"
#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"

namespace orvane {

void handOverToModule(ClientApp& app, SocketHandle socket, const String& moduleId, uint64_t sender)
{
    XmlNode record("message");
    record.addChild("module_id", moduleId.c_str());
    record.addChild("sender_id", uint64ToString(sender).c_str());
    app.postEvent(AppEvent::PeerConnection, socket, nullptr, &record, true);
}

// ---- relay join -----------------------------------------------------------------------------

RelayJoinThread::RelayJoinThread(SystemModule& system, const String& address, int port, int relayId, int answerMs)
    : system_(system), address_(address), port_(port), relayId_(relayId), answerMs_(answerMs)
{
}

void RelayJoinThread::launch(SystemModule& system, const String& address, int port, int relayId,
                             std::shared_ptr<ChannelRequest> request, int answerMs)
{
    auto* thread = new RelayJoinThread(system, address, port, relayId, answerMs);
    thread->request_ = std::move(request);
    startOrFail(thread);
}

void RelayJoinThread::launch(SystemModule& system, const String& address, int port, int relayId,
                             const String& moduleId, uint64_t sender, int answerMs)
{
    auto* thread = new RelayJoinThread(system, address, port, relayId, answerMs);
    thread->moduleId_ = moduleId;
    thread->sender_ = sender;
    startOrFail(thread);
}

void RelayJoinThread::startOrFail(RelayJoinThread* thread)
{
    thread->system_.threadStarted();
    try {
        thread->init();
        thread->start();
    } catch (const Exception&) {
        SystemModule& system = thread->system_;
        if (thread->request_)
            thread->request_->deliver(NoSocket);
        delete thread;
        system.threadEnded();
    }
}

SocketHandle RelayJoinThread::join(ClientApp& app, const String& address, int port, int relayId, int answerMs)
{
    SocketHandle socket = NoSocket;
    try {
        SocketAddress destination;
        destination.setHost(address.c_str(), port);
        socket = app.connection().connectThroughProxy(destination, -1);
        if (socket == NoSocket)
            return NoSocket;
        XmlNode record("message");
        record.addChild("command", "JOIN_TCP_CHANNEL");
        record.addChild("session_id", intToString(relayId).c_str());
        Packet packet(socket, answerMs);
        packet.write(record);
        XmlNode answer;
        packet.read(answer);
        String response = answer.childOrEmpty("response")->value;
        response.toUpper();
        if (response == "SUCCESS")
            return socket;
    } catch (const Exception&) {
    }
    closeSocket(socket);
    return NoSocket;
}

void RelayJoinThread::run()
{
    SystemModule& system = system_;
    socketStartup();
    SocketHandle socket = NoSocket;
    try {
        socket = join(system.app(), address_, port_, relayId_, answerMs_);
    } catch (...) {
        socket = NoSocket;
    }
    if (request_)
        request_->deliver(socket);
    else if (socket != NoSocket)
        handOverToModule(system.app(), socket, moduleId_, sender_);
    socketCleanup();
    system.threadEnded();
}

// ---- connect back ---------------------------------------------------------------------------

ConnectBackThread::ConnectBackThread(SystemModule& system, const String& address, int port, const XmlNode& record,
                                     const String& moduleId, uint64_t sender)
    : system_(system), address_(address), port_(port), record_(std::make_unique<XmlNode>(record)),
      moduleId_(moduleId), sender_(sender)
{
}

void ConnectBackThread::launch(SystemModule& system, const String& address, int port, const XmlNode& record,
                               const String& moduleId, uint64_t sender)
{
    auto* thread = new ConnectBackThread(system, address, port, record, moduleId, sender);
    system.threadStarted();
    try {
        thread->init();
        thread->start();
    } catch (const Exception&) {
        delete thread;
        system.threadEnded();
    }
}

void ConnectBackThread::run()
{
    SystemModule& system = system_;
    socketStartup();
    const SocketHandle socket = system.tcpConnector().connectDirect(address_, port_, *record_, true);
    if (socket != NoSocket)
        handOverToModule(system.app(), socket, moduleId_, sender_);
    socketCleanup();
    system.threadEnded();
}

} // namespace orvane
