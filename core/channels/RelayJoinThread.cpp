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

bool RelayJoinThread::launch(SystemModule& system, const String& address, int port, int relayId,
                             std::shared_ptr<ChannelRequest> request, int answerMs)
{
    auto* thread = new RelayJoinThread(system, address, port, relayId, answerMs);
    thread->user_ = request->peerUserId;
    thread->request_ = std::move(request);
    return startOrFail(thread);
}

bool RelayJoinThread::launch(SystemModule& system, const String& address, int port, int relayId,
                             const String& moduleId, uint64_t sender, int answerMs)
{
    auto* thread = new RelayJoinThread(system, address, port, relayId, answerMs);
    thread->moduleId_ = moduleId;
    thread->user_ = sender;
    return startOrFail(thread);
}

bool RelayJoinThread::startOrFail(RelayJoinThread* thread)
{
    SystemModule& system = thread->system_;
    const uint64_t user = thread->user_;
    if (system.threadStarting(SystemModule::SetUpThread::Tcp, user)) {
        try {
            thread->init();
            thread->start();
            return true;
        } catch (const Exception&) {
            system.threadEnded(SystemModule::SetUpThread::Tcp, user);
        }
    }
    if (thread->request_)
        thread->request_->deliver(NoSocket);
    delete thread;
    return false;
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
        handOverToModule(system.app(), socket, moduleId_, user_);
    const uint64_t user = user_;
    socketCleanup();
    system.threadEnded(SystemModule::SetUpThread::Tcp, user);
}

// ---- connect back ---------------------------------------------------------------------------

ConnectBackThread::ConnectBackThread(SystemModule& system, const String& address, int port, const XmlNode& record,
                                     const String& moduleId, uint64_t sender)
    : system_(system), address_(address), port_(port), record_(std::make_unique<XmlNode>(record)),
      moduleId_(moduleId), sender_(sender)
{
}

bool ConnectBackThread::launch(SystemModule& system, const String& address, int port, const XmlNode& record,
                               const String& moduleId, uint64_t sender)
{
    if (!system.threadStarting(SystemModule::SetUpThread::Tcp, sender))
        return false;
    auto* thread = new ConnectBackThread(system, address, port, record, moduleId, sender);
    try {
        thread->init();
        thread->start();
        return true;
    } catch (const Exception&) {
        delete thread;
        system.threadEnded(SystemModule::SetUpThread::Tcp, sender);
        return false;
    }
}

void ConnectBackThread::run()
{
    SystemModule& system = system_;
    const uint64_t sender = sender_;
    socketStartup();
    const SocketHandle socket = system.tcpConnector().connectDirect(address_, port_, *record_, true);
    if (socket != NoSocket)
        handOverToModule(system.app(), socket, moduleId_, sender);
    socketCleanup();
    system.threadEnded(SystemModule::SetUpThread::Tcp, sender);
}

} // namespace orvane
