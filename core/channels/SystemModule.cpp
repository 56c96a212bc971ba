#include "core/channels/SystemModule.h"

#include "core/Diagnostics.h"
#include "core/app/ClientApp.h"
#include "foundation/Conversions.h"

#include <chrono>

namespace orvane {

namespace {

// How long the module's end waits for the threads that waited on its requests to let go.
constexpr int ReleaseWaitMs = 5000;

} // namespace

const char* const SystemModule::Commands[] = {
    "ASK_TCP_SERVER_IP_PORT", "TCP_SERVER_IP_PORT", "CONNECT_BACK",       "OPEN_UDP_CHANNEL",
    "OPEN_UDP_CHANNEL_ACK",   "JOIN_SERVER_CHANNEL", "UDP_CHANNEL_SUCCESS", "CLOSE_UDP_CHANNEL",
};
const int SystemModule::CommandCount = sizeof Commands / sizeof Commands[0];

// ---- ChannelRequest -------------------------------------------------------------------------

ChannelRequest::~ChannelRequest()
{
    closeSocket(result_);
}

bool ChannelRequest::answer(const std::function<void(ChannelRequest&)>& fill)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (over_ || answered_)
            return false;
        if (fill)
            fill(*this);
        answered_ = true;
    }
    changed_.notify_all();
    return true;
}

bool ChannelRequest::update(const std::function<void(ChannelRequest&)>& fill)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (over_ || answered_)
        return false;
    if (fill)
        fill(*this);
    return true;
}

bool ChannelRequest::deliver(SocketHandle socket)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!over_ && !answered_) {
            result_ = socket;
            answered_ = true;
            socket = NoSocket;
        }
    }
    changed_.notify_all();
    // Nobody waits for it any more.
    if (socket != NoSocket) {
        closeSocket(socket);
        return false;
    }
    return true;
}

bool ChannelRequest::wait(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock_);
    auto done = [this] { return answered_ || over_; };
    if (timeoutMs < 0)
        changed_.wait(guard, done);
    else
        changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), done);
    const bool ok = answered_ && !over_;
    over_ = true;
    return ok;
}

void ChannelRequest::cancel()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        over_ = true;
    }
    changed_.notify_all();
}

SocketHandle ChannelRequest::takeResult()
{
    std::lock_guard<std::mutex> guard(lock_);
    const SocketHandle socket = result_;
    result_ = NoSocket;
    return socket;
}

// ---- SystemModule ---------------------------------------------------------------------------

SystemModule::SystemModule(ClientApp& app) : app_(app), udpManager_(ownUserId_)
{
    tcpConnector_ = std::make_unique<TcpChannelConnector>(*this);
    for (const char* command : Commands)
        handlers_.emplace_back(command, nullptr);
    TcpChannelConnector& tcp = *tcpConnector_;
    setCommandHandler("ASK_TCP_SERVER_IP_PORT",
                      [&tcp](const XmlNode& m, uint64_t sender) { tcp.onAskAddresses(m, sender); });
    setCommandHandler("TCP_SERVER_IP_PORT", [&tcp](const XmlNode& m, uint64_t sender) { tcp.onAddresses(m, sender); });
    setCommandHandler("CONNECT_BACK", [&tcp](const XmlNode& m, uint64_t sender) { tcp.onConnectBack(m, sender); });
    setCommandHandler("JOIN_SERVER_CHANNEL", [this](const XmlNode& m, uint64_t sender) {
        String protocol = m.childOrEmpty("protocol")->value;
        protocol.toLower();
        if (protocol == "tcp")
            tcpConnector_->onJoinServerChannel(m, sender);
        else if (protocol == "udp")
            udpManager_.onJoinServerChannel(m, sender);
    });
    setServerChannelHandler("tcp", [&tcp](const XmlNode& reply) { tcp.onServerChannelOpened(reply); });
    UdpChannelManager& udp = udpManager_;
    setCommandHandler("OPEN_UDP_CHANNEL", [&udp](const XmlNode& m, uint64_t sender) { udp.onOpenUdpChannel(m, sender); });
    setCommandHandler("OPEN_UDP_CHANNEL_ACK", [&udp](const XmlNode& m, uint64_t sender) { udp.onOpenAck(m, sender); });
    setCommandHandler("UDP_CHANNEL_SUCCESS",
                      [&udp](const XmlNode& m, uint64_t sender) { udp.onChannelSuccess(m, sender); });
    setCommandHandler("CLOSE_UDP_CHANNEL", [&udp](const XmlNode& m, uint64_t sender) { udp.onCloseChannel(m, sender); });
    setServerChannelHandler("udp", [&udp](const XmlNode& reply) { udp.onServerChannelOpened(reply); });
    udpManager_.attach(*this);
}

SystemModule::~SystemModule()
{
    std::unique_lock<std::mutex> guard(requestsLock_);
    closing_ = true;
    for (const auto& request : pendingRequests_)
        request->cancel();
    // The woken waiters still come back here to take their requests out of the list.
    requestsChanged_.wait_for(guard, std::chrono::milliseconds(ReleaseWaitMs), [this] { return awaiting_ == 0; });
    guard.unlock();
    stopThreads();
}

void SystemModule::stopThreads()
{
    tcpConnector_->stop();
    udpManager_.stop();
    if (!waitForThreads(ReleaseWaitMs))
        diagnostic("system module: channel set-up threads still run at its end");
}

bool SystemModule::init(IModuleHost* host)
{
    host_ = host;
    try {
        tcpConnector_->start();
    } catch (const Exception&) {
        // Without the TCP server no channel can be offered; the datagram side stays down too.
        diagnostic("system module: cannot listen for peer connections");
        return true;
    }
    try {
        // The datagram socket takes the same port number as the TCP server.
        const AccountSettings& account = app_.account();
        udpManager_.bindAddress.setHost(account.bindAddress.isEmpty() ? nullptr : account.bindAddress.c_str(),
                                        tcpConnector_->boundPort());
        udpManager_.init();
        udpManager_.start();
    } catch (const Exception&) {
        diagnostic("system module: the datagram channels cannot start");
    }
    return true;
}

void SystemModule::shutdown()
{
    {
        std::lock_guard<std::mutex> guard(requestsLock_);
        closing_ = true;
        for (const auto& request : pendingRequests_)
            request->cancel();
    }
    stopThreads();
}

void SystemModule::onSignedIn()
{
    ownUserId_.store(parseUInt64(app_.ownUser().getId()));
}

void SystemModule::onSignedOut()
{
    ownUserId_.store(0);
}

void SystemModule::onContactStatusChanged(IContact* contact)
{
    if (contact && !contact->isOnline())
        udpManager_.closeChannelsOf(parseUInt64(contact->getId()));
}

void SystemModule::onIncomingConnection(IContact*, IModuleConnection* connection)
{
    if (connection)
        connection->close();
}

void SystemModule::onMessage(IContact* sender, const char* data)
{
    XmlNode message;
    message.parse(data ? data : "");
    String command = message.childOrEmpty("command")->value;
    command.toUpper();
    const uint64_t senderId = sender ? parseUInt64(sender->getId()) : 0;
    // The server stamps the true sender on every frame; a message that claims another one
    // is not believed.
    const XmlNode* claimed = message.getChild("user_id");
    if (claimed && parseUInt64(claimed->value.c_str()) != senderId) {
        diagnostic("system module: dropped a message whose user_id is not its sender's");
        return;
    }
    for (const auto& handler : handlers_) {
        if (handler.first == command) {
            if (handler.second)
                handler.second(message, senderId);
            return;
        }
    }
}

void SystemModule::onServerChannelOpened(const XmlNode& reply)
{
    String protocol = reply.childOrEmpty("protocol")->value;
    protocol.toLower();
    if (protocol == "tcp" && tcpChannelHandler_)
        tcpChannelHandler_(reply);
    else if (protocol == "udp" && udpChannelHandler_)
        udpChannelHandler_(reply);
}

IModuleConnection* SystemModule::openTcpConnection(const char* userId, const char* moduleId)
{
    return tcpConnector_->openTcpChannel(userId, moduleId);
}

IModuleConnection* SystemModule::openUdpConnection(const char* userId, const char* moduleId)
{
    return udpManager_.openUdpChannel(userId, moduleId);
}

void SystemModule::setCommandHandler(const char* command, CommandHandler handler)
{
    for (auto& entry : handlers_) {
        if (entry.first == command) {
            entry.second = std::move(handler);
            return;
        }
    }
}

SystemModule::CommandHandler SystemModule::commandHandler(const char* command) const
{
    for (const auto& entry : handlers_)
        if (entry.first == command)
            return entry.second;
    return nullptr;
}

void SystemModule::setServerChannelHandler(const char* protocol, std::function<void(const XmlNode&)> handler)
{
    const String name = String(protocol).toLower();
    if (name == "tcp")
        tcpChannelHandler_ = std::move(handler);
    else if (name == "udp")
        udpChannelHandler_ = std::move(handler);
}

// ---- requests -------------------------------------------------------------------------------

int SystemModule::newConnectionId()
{
    std::lock_guard<std::mutex> guard(idLock_);
    const int id = nextConnectionId_;
    nextConnectionId_ = id + 1 > LastConnectionId ? FirstConnectionId : id + 1;
    return id;
}

std::shared_ptr<ChannelRequest> SystemModule::addRequest(ChannelRequest::Purpose purpose)
{
    auto request = std::make_shared<ChannelRequest>(newConnectionId(), purpose);
    std::lock_guard<std::mutex> guard(requestsLock_);
    // A closing module takes no new waiter: the request is over before it starts.
    if (closing_)
        request->cancel();
    else
        pendingRequests_.push_back(request);
    return request;
}

bool SystemModule::await(const std::shared_ptr<ChannelRequest>& request, const std::function<void()>& ask,
                         int timeoutMs)
{
    {
        std::lock_guard<std::mutex> guard(requestsLock_);
        ++awaiting_;
    }
    if (ask)
        ask();
    const bool answered = request->wait(timeoutMs);
    removeRequest(request->connectionId);
    {
        std::lock_guard<std::mutex> guard(requestsLock_);
        --awaiting_;
        requestsChanged_.notify_all();
    }
    return answered;
}

std::shared_ptr<ChannelRequest> SystemModule::findRequest(int connectionId)
{
    std::lock_guard<std::mutex> guard(requestsLock_);
    for (const auto& request : pendingRequests_)
        if (request->connectionId == connectionId)
            return request;
    return nullptr;
}

std::shared_ptr<ChannelRequest> SystemModule::removeRequest(int connectionId)
{
    std::shared_ptr<ChannelRequest> removed;
    {
        std::lock_guard<std::mutex> guard(requestsLock_);
        for (auto it = pendingRequests_.begin(); it != pendingRequests_.end(); ++it) {
            if ((*it)->connectionId == connectionId) {
                removed = *it;
                pendingRequests_.erase(it);
                break;
            }
        }
        requestsChanged_.notify_all();
    }
    return removed;
}

int SystemModule::pendingRequestCount()
{
    std::lock_guard<std::mutex> guard(requestsLock_);
    return static_cast<int>(pendingRequests_.size());
}

bool SystemModule::threadStarting(SetUpThread kind, uint64_t user)
{
    const int k = static_cast<int>(kind);
    std::lock_guard<std::mutex> guard(threadsLock_);
    auto it = threadsOf_[k].find(user);
    if (threads_[k] >= MaxSetUpThreads || (it != threadsOf_[k].end() && it->second >= MaxSetUpThreadsPerUser))
        return false;
    ++threads_[k];
    ++threadsOf_[k][user];
    return true;
}

void SystemModule::threadEnded(SetUpThread kind, uint64_t user)
{
    const int k = static_cast<int>(kind);
    // Notified under the lock: the module's end may destroy the condition as soon as it
    // sees the count reach 0.
    std::lock_guard<std::mutex> guard(threadsLock_);
    --threads_[k];
    auto it = threadsOf_[k].find(user);
    if (it != threadsOf_[k].end() && --it->second <= 0)
        threadsOf_[k].erase(it);
    threadsChanged_.notify_all();
}

int SystemModule::runningThreads()
{
    std::lock_guard<std::mutex> guard(threadsLock_);
    return threads_[0] + threads_[1];
}

bool SystemModule::waitForThreads(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(threadsLock_);
    return threadsChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [this] { return threads_[0] + threads_[1] == 0; });
}

bool SystemModule::isListedContact(uint64_t userId)
{
    if (userId == 0)
        return false;
    MonitorLock guard(app_.lock());
    ContactRecord* contact = app_.findContact(uint64ToString(userId).c_str());
    return contact && contact->isListed();
}

bool SystemModule::isChannelModule(const String& moduleId)
{
    return moduleId != Id && app_.findModule(moduleId.c_str()) != nullptr;
}

void SystemModule::sendToUser(uint64_t userId, const XmlNode& message)
{
    if (host_)
        host_->send(uint64ToString(userId).c_str(), message.toString(0, true).c_str());
}

} // namespace orvane
