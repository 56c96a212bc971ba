#pragma once

#include "core/channels/TcpChannelConnector.h"
#include "core/channels/UdpChannelManager.h"
#include "core/module/ModuleBase.h"
#include "foundation/Socket.h"
#include "foundation/String.h"
#include "foundation/XmlNode.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace orvane {

class ClientApp;

// One step of a channel negotiation that waits for an answer from elsewhere: the peer's
// system module, or the server. It is shared between the thread that waits and the
// handlers that answer, so an answer that arrives after the waiter gave up writes into an
// object that still exists and is simply never read; a socket delivered then is closed.
class ChannelRequest {
public:
    // What the request waits for; an answer of another kind is not taken for it.
    enum Purpose { Any, Ask, ConnectBack, TcpRelay, UdpOpen, UdpRelay };

    ChannelRequest(int id, Purpose kind) : connectionId(id), purpose(kind) {}
    ~ChannelRequest();
    ChannelRequest(const ChannelRequest&) = delete;
    ChannelRequest& operator=(const ChannelRequest&) = delete;

    // The key of every answer; a fresh one for every step.
    const int connectionId;
    const Purpose purpose;

    // What the answers fill in. Written by the answering handler inside answer(), read by
    // the waiter once its wait has ended.
    int peerConnectionId = 0;
    int relayConnectionId = 0;
    String moduleId;
    uint64_t peerUserId = 0;
    bool peerManual = false;
    String peerExternalHost;
    String peerLocalHost;
    int peerExternalPort = 0;
    int peerLocalPort = 0;

    // An answering handler fills the fields in `fill` and wakes the waiter; false (nothing
    // filled) when the request is over (answered already, given up or cancelled).
    bool answer(const std::function<void(ChannelRequest&)>& fill);
    // Fills fields without answering (a step with a second part); false when over.
    bool update(const std::function<void(ChannelRequest&)>& fill);
    // A connected socket as the answer; NoSocket answers that there is none. When the
    // request is over the socket is closed.
    bool deliver(SocketHandle socket);
    // The waiter: true when answered within the time; false when the time ran out or the
    // request was cancelled. Afterwards the request is over.
    bool wait(int timeoutMs);
    // Over, and the waiter woken with a failure (the system module is closing).
    void cancel();
    // The socket an answer delivered; the caller owns it from here (NoSocket when none).
    SocketHandle takeResult();

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool answered_ = false;
    bool over_ = false;
    SocketHandle result_ = NoSocket;
};

// The built-in module that opens peer channels for the other modules. The user never sees
// it. It talks to the system module of the peer's program through module messages of its
// own id, keeps the negotiations that wait for answers, hands out their connection ids,
// owns the program's UDP channel manager, and dispatches its commands to the handlers that
// the channel code registers.
//
// Threads: the IModule operations and the command dispatch run on the user-interface
// thread; waiting for an answer happens on the opening module's own thread; the request
// list and the id counter have locks of their own.
class SystemModule : public ModuleBase {
public:
    static constexpr const char* Id = "system_module";
    static constexpr int FirstConnectionId = 10000;
    static constexpr int LastConnectionId = 50000;
    // How long a step waits for its answer.
    static constexpr int AnswerTimeoutMs = 60000;

    // A command's handler: the message's fields and the sender the server stamped on it.
    using CommandHandler = std::function<void(const XmlNode& message, uint64_t sender)>;

    explicit SystemModule(ClientApp& app);
    // Cancels every waiting request, waits (bounded) for their waiters to let go, stops the
    // threads.
    ~SystemModule() override;

    // ---- IModule ----
    bool init(IModuleHost* host) override;
    void shutdown() override;
    const char* getId() override { return Id; }
    const char* getName() override { return "System Module"; }
    const char* getVersion() override { return "3.2"; }
    const char* getDisplayName() override { return nullptr; }
    BitmapHandle getBitmap() override { return nullptr; }
    const char* getDescription() override { return "Special System Module"; }
    void onSignedIn() override;
    void onSignedOut() override;
    // A contact that goes offline takes its datagram channels with it: nothing will come
    // over them any more, and their readers should not wait for it.
    void onContactStatusChanged(IContact* contact) override;
    void actOn(IContact*) override {}
    void onIncomingConnection(IContact* contact, IModuleConnection* connection) override;
    void onMessage(IContact* sender, const char* data) override;

    // ---- the channels ----
    IModuleConnection* openTcpConnection(const char* userId, const char* moduleId);
    IModuleConnection* openUdpConnection(const char* userId, const char* moduleId);
    // The server's answer to OPEN_SERVER_CHANNEL, routed by its protocol.
    void onServerChannelOpened(const XmlNode& reply);

    // ---- negotiation support ----
    // 10000, 10001, ... 50000, then 10000 again.
    int newConnectionId();
    // A new request with a fresh id, already in the pending list.
    std::shared_ptr<ChannelRequest> addRequest(ChannelRequest::Purpose purpose = ChannelRequest::Any);
    // Asks (the question goes out after the request is listed, so an answer at once is
    // never missed) and waits for the answer; the request leaves the list either way.
    bool await(const std::shared_ptr<ChannelRequest>& request, const std::function<void()>& ask,
               int timeoutMs = AnswerTimeoutMs);
    std::shared_ptr<ChannelRequest> findRequest(int connectionId);
    std::shared_ptr<ChannelRequest> removeRequest(int connectionId);
    int pendingRequestCount();
    // The node in the indented form, as a module message of this module to the user.
    void sendToUser(uint64_t userId, const XmlNode& message);

    // The channel code's handlers of the commands (ASK_TCP_SERVER_IP_PORT, ..., and of the
    // server's OPEN_SERVER_CHANNEL answer per protocol, "tcp" or "udp").
    void setCommandHandler(const char* command, CommandHandler handler);
    // The handler a command has now (empty when none).
    CommandHandler commandHandler(const char* command) const;
    void setServerChannelHandler(const char* protocol, std::function<void(const XmlNode&)> handler);

    // The threads of the channel set-up that run on their own, by kind: relay joins and
    // connections back, and datagram responders. A peer's messages start them, so each kind
    // is bounded per user and in all; and the module's end waits for them.
    enum class SetUpThread { Tcp = 0, Udp = 1 };
    static constexpr int MaxSetUpThreads = 16;
    static constexpr int MaxSetUpThreadsPerUser = 4;
    // Counts a thread of that kind for the user about to start; false, counting nothing,
    // when the user or everybody already has as many running as the bounds allow. Every true
    // is matched by one threadEnded.
    bool threadStarting(SetUpThread kind, uint64_t user);
    void threadEnded(SetUpThread kind, uint64_t user);
    // Set-up threads running now, of both kinds.
    int runningThreads();
    // True when none runs any more within the time.
    bool waitForThreads(int timeoutMs);

    // True when the user is in the signed-in user's contact list (not a record made for a
    // stranger's message, nor a removed contact's). The list is read under the application
    // lock, so a list that a sign-in reply replaces is seen whole before or after, from any
    // thread.
    bool isListedContact(uint64_t userId);
    // True when a module with the id is loaded to take a channel (the system module takes
    // none).
    bool isChannelModule(const String& moduleId);

    uint64_t ownUserId() const { return ownUserId_.load(); }
    UdpChannelManager& udpManager() { return udpManager_; }
    TcpChannelConnector& tcpConnector() { return *tcpConnector_; }
    IModuleHost* host() const { return host_; }
    ClientApp& app() { return app_; }

    // The commands of the system module, in the order the dispatch compares them.
    static const char* const Commands[];
    static const int CommandCount;

private:
    void stopThreads();

    ClientApp& app_;
    IModuleHost* host_ = nullptr;
    std::atomic<uint64_t> ownUserId_{0};

    std::mutex requestsLock_;
    std::condition_variable requestsChanged_;
    std::vector<std::shared_ptr<ChannelRequest>> pendingRequests_;
    // Threads inside await.
    int awaiting_ = 0;
    bool closing_ = false;

    std::mutex idLock_;
    int nextConnectionId_ = FirstConnectionId;

    std::mutex threadsLock_;
    std::condition_variable threadsChanged_;
    // Per kind: the threads running in all and per user (users with none are not kept).
    int threads_[2] = {0, 0};
    std::unordered_map<uint64_t, int> threadsOf_[2];

    // Set up before the module runs; read on the user-interface thread.
    std::vector<std::pair<String, CommandHandler>> handlers_;
    std::function<void(const XmlNode&)> tcpChannelHandler_;
    std::function<void(const XmlNode&)> udpChannelHandler_;

    // Declared last: their threads end first.
    UdpChannelManager udpManager_;
    std::unique_ptr<TcpChannelConnector> tcpConnector_;
};

} // namespace orvane
