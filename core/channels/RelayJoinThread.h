#pragma once

#include "foundation/Socket.h"
#include "foundation/String.h"
#include "foundation/Thread.h"

#include <cstdint>
#include <memory>

namespace orvane {

class ChannelRequest;
class ClientApp;
class SystemModule;

// One side's join of the server's TCP relay, on a thread of its own so that neither the
// opener's thread nor the user-interface thread waits on the relay's network. It connects
// to the relay through the configured proxy, sends the join record (JOIN_TCP_CHANNEL with
// the relay's connection id) and waits for the relay's "SUCCESS". The opener's side hands
// the socket to its waiting request (closed when the opener has given up meanwhile); the
// peer's side hands it to the module through the event queue. The thread deletes itself.
class RelayJoinThread : public Thread {
public:
    // The opener's side. False when the thread could not start (the peer has as many set-up
    // threads as it may, or the system gives none); the request is then answered with no
    // socket.
    static bool launch(SystemModule& system, const String& address, int port, int relayId,
                       std::shared_ptr<ChannelRequest> request, int answerMs);
    // The peer's side: the channel is for this module, from this contact. False when the
    // thread could not start.
    static bool launch(SystemModule& system, const String& address, int port, int relayId, const String& moduleId,
                       uint64_t sender, int answerMs);

    void run() override;
    bool deleteWhenDone() override { return true; }

    // The relay's answer to the join, at most answerMs away; the connected socket after
    // "SUCCESS", else NoSocket.
    static SocketHandle join(ClientApp& app, const String& address, int port, int relayId, int answerMs);

private:
    RelayJoinThread(SystemModule& system, const String& address, int port, int relayId, int answerMs);
    static bool startOrFail(RelayJoinThread* thread);

    SystemModule& system_;
    String address_;
    int port_;
    int relayId_;
    int answerMs_;
    std::shared_ptr<ChannelRequest> request_;
    String moduleId_;
    // The peer: the channel's contact on the peer's side, the request's peer on the opener's.
    uint64_t user_ = 0;
};

// The peer's connect back to an opener that asked for it, on a thread of its own: a direct
// attempt with the CONNECT_DIRECT_BACK record, and on "SUCCESS" the socket goes to the
// module through the event queue. The thread deletes itself.
class ConnectBackThread : public Thread {
public:
    // False when the thread could not start (the sender has as many set-up threads as it
    // may, or the system gives none).
    static bool launch(SystemModule& system, const String& address, int port, const class XmlNode& record,
                       const String& moduleId, uint64_t sender);

    void run() override;
    bool deleteWhenDone() override { return true; }

private:
    ConnectBackThread(SystemModule& system, const String& address, int port, const XmlNode& record,
                      const String& moduleId, uint64_t sender);

    SystemModule& system_;
    String address_;
    int port_;
    std::unique_ptr<XmlNode> record_;
    String moduleId_;
    uint64_t sender_;
};

// Hands a ready peer socket to the module through the application's event queue.
void handOverToModule(ClientApp& app, SocketHandle socket, const String& moduleId, uint64_t sender);

} // namespace orvane
