#include "core/link/ConnectionThread.h"

#include "core/Diagnostics.h"
#include "core/link/ServerCommands.h"
#include "foundation/Clock.h"
#include "foundation/Conversions.h"
#include "network/FormFields.h"
#include "network/HttpClient.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

LinkOwner::~LinkOwner() = default;

namespace {

// A request (stop, sign-out, connect) arrived while the thread waited for the server; the
// loop attends to it and the reader keeps its partial frame.
ORVANE_EXCEPTION(LinkInterrupted, Exception);
ORVANE_EXCEPTION_IMPL(LinkInterrupted);

// The sign-in failed in a way the connect sequence reports as "unable to connect".
ORVANE_EXCEPTION(SignInFailed, Exception);
ORVANE_EXCEPTION_IMPL(SignInFailed);

int waitLeft(int64_t deadline)
{
    const int64_t left = deadline - monotonicMillis();
    return left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, INT_MAX));
}

} // namespace

ConnectionThread::ConnectionThread(LinkOwner& owner) : owner_(owner)
{
    if (!wake_.isOk())
        throw ThreadCreateException();
}

ConnectionThread::~ConnectionThread()
{
    stop();
    closeLink();
}

// ---- requests from other threads ------------------------------------------------------------

void ConnectionThread::wake()
{
    wake_.signal();
}

void ConnectionThread::stop()
{
    const State state = getState();
    if (state == Constructed || state == Ready || state == Finished)
        return;
    Thread::stop(false);
    wake();
    Thread::stop(true);
}

void ConnectionThread::setProxy(const char* host, int port, int type)
{
    std::lock_guard<std::mutex> guard(stateLock_);
    proxy_.host = host ? host : "";
    proxy_.port = port;
    proxy_.type = type;
}

void ConnectionThread::requestConnect(const LinkSettings& settings)
{
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        // A connect under way and a link that stays keep the settings they started with;
        // a link that is being closed by a sign-out makes way for this connect.
        const bool linkStays = socket_ != NoSocket && !disconnectRequested_.load();
        if (!linkStays && !connecting_) {
            settings_ = settings;
            connectPending_ = true;
        }
        connectRequested_.store(true);
    }
    wake();
}

void ConnectionThread::disconnect()
{
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        if (socket_ != NoSocket || connecting_) {
            disconnectRequested_.store(true);
            wake();
            return;
        }
        // A connect asked for but not begun is called off.
        connectPending_ = false;
    }
    owner_.reportConnectionState(false, SignedOut);
}

bool ConnectionThread::isConnected() const
{
    std::lock_guard<std::mutex> guard(stateLock_);
    return socket_ != NoSocket && !disconnectRequested_.load();
}

SocketHandle ConnectionThread::linkHandle() const
{
    std::lock_guard<std::mutex> guard(stateLock_);
    return socket_;
}

LinkValues ConnectionThread::values() const
{
    std::lock_guard<std::mutex> guard(stateLock_);
    return values_;
}

String ConnectionThread::ownUserId() const
{
    std::lock_guard<std::mutex> guard(stateLock_);
    return values_.ownUserId;
}

void ConnectionThread::queueMessage(std::unique_ptr<Message> frame)
{
    if (!frame || frame->outgoingLength() <= 0)
        return;
    uint64_t droppedNow = 0;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        pendingBytes_ += static_cast<size_t>(frame->outgoingLength());
        pending_.push_back(std::move(frame));
        // The oldest give way, but never the sign-in frame, which opens the link.
        auto it = pending_.begin();
        while ((pending_.size() > timing.maxPendingFrames || pendingBytes_ > timing.maxPendingBytes) &&
               it != pending_.end() && pending_.size() > 1) {
            if ((*it)->type == ServerCommands::SignInFrame) {
                ++it;
                continue;
            }
            pendingBytes_ -= static_cast<size_t>((*it)->outgoingLength());
            it = pending_.erase(it);
            ++droppedNow;
        }
    }
    if (droppedNow) {
        // One line per thousand, so a flood of frames cannot flood the report too.
        const uint64_t before = dropped_.fetch_add(droppedNow);
        if (before / 1000 != (before + droppedNow) / 1000 || before == 0)
            diagnostic("server link: the outgoing queue is full; %llu frames dropped so far",
                       static_cast<unsigned long long>(before + droppedNow));
    }
    wake();
}

SocketHandle ConnectionThread::connectThroughProxy(const SocketAddress& destination, int timeoutMs)
{
    ProxySettings proxy;
    int connectTimeout;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        proxy = proxy_;
        connectTimeout = settings_.connectTimeoutMs;
    }
    Socket socket;
    ProxyClient connector;
    try {
        socket.create();
        socket.acceptTimeoutMs = timeoutMs < 0 ? connectTimeout : timeoutMs;
        connector.connect(socket, destination.getHostAddress().c_str(), destination.getPort(), proxy.host.c_str(),
                          static_cast<uint16_t>(proxy.port), static_cast<uint8_t>(proxy.type));
        const SocketHandle handle = socket.handle;
        socket.handle = NoSocket;
        return handle;
    } catch (const Exception&) {
        socket.close();
        return NoSocket;
    }
}

// ---- the builders ---------------------------------------------------------------------------

void ConnectionThread::sendModuleMessage(const char* moduleId, const char* userId, const char* data)
{
    queueMessage(ServerCommands::moduleMessage(ownUserId().c_str(), moduleId, userId, data));
}

void ConnectionThread::sendModuleMessageToUsers(const char* moduleId, const StringArray& userIds, const char* data)
{
    const String own = ownUserId();
    for (const String& user : userIds)
        queueMessage(ServerCommands::moduleMessage(own.c_str(), moduleId, user.c_str(), data));
}

void ConnectionThread::sendSessionMessage(const char* moduleId, const char* sessionId, const char* userId,
                                          const char* data, bool canBeOffline)
{
    queueMessage(ServerCommands::sessionMessage(ownUserId().c_str(), moduleId, sessionId, userId, data, canBeOffline,
                                                static_cast<int64_t>(::time(nullptr))));
}

void ConnectionThread::sendSessionMessageToUsers(const char* moduleId, const char* sessionId,
                                                 const StringArray& userIds, const char* data, bool canBeOffline)
{
    const String own = ownUserId();
    // One moment for all, so every copy carries the same timestamp.
    const int64_t timestamp = static_cast<int64_t>(::time(nullptr));
    for (const String& user : userIds)
        queueMessage(ServerCommands::sessionMessage(own.c_str(), moduleId, sessionId, user.c_str(), data,
                                                    canBeOffline, timestamp));
}

void ConnectionThread::sendGetUserInfo(const char* userId)
{
    queueMessage(ServerCommands::getUserInfo(ownUserId().c_str(), userId));
}

void ConnectionThread::sendOpenServerChannel(const char* protocol, int connectionId,
                                             const std::vector<uint64_t>& participants)
{
    queueMessage(ServerCommands::openServerChannel(ownUserId().c_str(), protocol, connectionId, participants));
}

void ConnectionThread::sendAddContact(const char* contactName)
{
    String status;
    status.format("Adding contact %s.", contactName ? contactName : "");
    owner_.setStatusText(status.c_str());
    String networkId;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        networkId = settings_.networkId;
    }
    queueMessage(ServerCommands::addContact(ownUserId().c_str(), contactName, networkId.c_str()));
}

void ConnectionThread::sendRemoveContact(const char* contactId)
{
    queueMessage(ServerCommands::removeContact(ownUserId().c_str(), contactId));
}

// ---- the connection thread ------------------------------------------------------------------

void ConnectionThread::run()
{
    socketStartup();
    runState_.store(LoopRunning);
    try {
        loop();
    } catch (const ThreadStopException&) {
    } catch (const Exception&) {
        diagnostic("server link: the connection thread ended on an exception");
    }
    closeLink();
    runState_.store(LoopEnded);
    socketCleanup();
}

bool ConnectionThread::hasRequests() const
{
    return isStopRequested() || connectRequested_.load() || disconnectRequested_.load();
}

bool ConnectionThread::waitForWake(int timeoutMs)
{
    pollfd fd{wake_.fd(), POLLIN, 0};
    const int ready = ::poll(&fd, 1, timeoutMs);
    if (ready <= 0)
        return false;
    wake_.drain();
    return true;
}

void ConnectionThread::loop()
{
    for (;;) {
        if (isStopRequested())
            return;
        if (disconnectRequested_.load()) {
            closeLink();
            disconnectRequested_.store(false);
            owner_.reportConnectionState(false, SignedOut);
        }
        if (connectRequested_.exchange(false))
            connectLink();
        if (socket_ == NoSocket) {
            if (!hasRequests())
                waitForWake(timing.idleWaitMs);
            continue;
        }
        if (!signedIn_ && monotonicMillis() >= signInDeadline_) {
            diagnostic("server link: no sign-in confirmation within %d ms", timing.signInReplyTimeoutMs);
            // The reason first: the report of the state must find it on the status line.
            owner_.setStatusText(SignInFailedText);
            dropLink(UnableToConnect);
            continue;
        }
        try {
            flush();
            reader_->read();
            if (reader_->type == ServerCommands::SignedInFrame)
                signedIn_ = true;
            owner_.onServerFrame(*reader_, socket_);
        } catch (const LinkInterrupted&) {
            // Attend to the request; the partial frame stays in the reader.
        } catch (const TimeoutException&) {
            // No complete frame yet; the reader keeps what arrived.
        } catch (const Message::FormatException&) {
            diagnostic("server link: the server sent something that is not a frame");
            dropLink(ConnectionLost);
        } catch (const Exception&) {
            dropLink(ConnectionLost);
        }
    }
}

void ConnectionThread::connectLink()
{
    LinkSettings settings;
    ProxySettings proxy;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        // A sign-out called the connect off.
        if (socket_ == NoSocket && !connectPending_)
            return;
        if (socket_ == NoSocket) {
            connectPending_ = false;
            connecting_ = true;
            settings = settings_;
            proxy = proxy_;
        }
    }
    owner_.setStatusText("Connecting...");
    if (!connecting_)
        return;
    Socket socket;
    try {
        const SignInReply reply = signInOverHttp(settings);
        {
            std::lock_guard<std::mutex> guard(stateLock_);
            values_.serverHost = reply.serverHost;
            values_.serverPort = reply.serverPort;
            values_.ownUserId = reply.ownUserId;
            values_.contactIds = reply.contactIds;
            values_.peerContactIds = reply.peerContactIds;
        }
        owner_.onSignInReply(reply);

        socket.create();
        socket.acceptTimeoutMs = settings.connectTimeoutMs;
        linkProxy_.connect(socket, reply.serverHost.c_str(), static_cast<uint16_t>(reply.serverPort),
                           proxy.host.c_str(), static_cast<uint16_t>(proxy.port), static_cast<uint8_t>(proxy.type));
        socket.acceptTimeoutMs = settings.socketTimeoutMs;
        const String local = getLocalAddress(socket.handle).getHostAddress();

        owner_.setProgressText("Signing in...");
        owner_.setStatusText("Signing in...");
        queueSignIn(settings, reply);

        // A fresh reader: nothing of an earlier link's partial frame carries over.
        reader_ = std::make_unique<Message>(timing.readTimeoutMs);
        reader_->setSource(this);
        inputPosition_ = inputLength_ = 0;
        signedIn_ = false;
        signInDeadline_ = monotonicMillis() + timing.signInReplyTimeoutMs;
        std::lock_guard<std::mutex> guard(stateLock_);
        values_.localAddress = local;
        socket_ = socket.handle;
        socket.handle = NoSocket;
        connecting_ = false;
    } catch (const Exception&) {
        socket.close();
        {
            std::lock_guard<std::mutex> guard(stateLock_);
            connecting_ = false;
        }
        owner_.setStatusText(SignInFailedText);
        owner_.reportConnectionState(false, UnableToConnect);
    }
}

SignInReply ConnectionThread::signInOverHttp(const LinkSettings& settings)
{
    FormFields form;
    form.field("CMD") = "LOGIN";
    form.field("user") = settings.userName;
    form.field("password") = settings.password;
    form.field("network_id") = settings.networkId;
    ByteArray body;
    // Always direct, whatever proxy the link uses.
    HttpClient http;
    http.timeoutSeconds = timing.httpTimeoutSeconds;
    http.postForm(settings.serverUrl.c_str(), &form, &body);
    const SignInReply reply = SignInReply::parse(String(reinterpret_cast<const char*>(body.data()), body.count()));
    switch (reply.outcome) {
    case SignInReply::Success:
        return reply;
    case SignInReply::Refused:
        owner_.onSignInRefused(reply.reason);
        break;
    case SignInReply::Malformed:
        diagnostic("server link: the sign-in reply is not usable: %s", reply.reason.c_str());
        break;
    }
    throw SignInFailed();
}

void ConnectionThread::queueSignIn(const LinkSettings& settings, const SignInReply& reply)
{
    ServerCommands::SignIn fields;
    fields.networkId = settings.networkId;
    fields.userId = reply.ownUserId;
    fields.userName = settings.userName;
    fields.password = settings.password;
    fields.peerContacts = reply.peerContactIds;
    fields.contacts = reply.contactIds;
    std::unique_ptr<Message> frame = ServerCommands::signIn(fields);
    std::lock_guard<std::mutex> guard(queueLock_);
    // Whatever was queued for an earlier link goes unsent: the sign-in frame comes first.
    pending_.clear();
    pendingBytes_ = static_cast<size_t>(frame->outgoingLength());
    pending_.push_back(std::move(frame));
}

bool ConnectionThread::closeLink()
{
    SocketHandle handle;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        handle = socket_;
        socket_ = NoSocket;
    }
    reader_.reset();
    if (handle == NoSocket)
        return false;
    closeSocket(handle);
    return true;
}

void ConnectionThread::dropLink(Reason reason)
{
    closeLink();
    owner_.reportConnectionState(false, reason);
}

// ---- writing and reading --------------------------------------------------------------------

void ConnectionThread::flush()
{
    std::deque<std::unique_ptr<Message>> batch;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        batch.swap(pending_);
        pendingBytes_ = 0;
    }
    // A failed write ends the link; the frames of the batch not yet written go with it.
    for (const std::unique_ptr<Message>& frame : batch)
        writeFrame(*frame);
}

void ConnectionThread::writeFrame(const Message& frame)
{
    const uint8_t* data = frame.outgoingData();
    int left = frame.outgoingLength();
    const int64_t deadline = monotonicMillis() + timing.writeTimeoutMs;
    while (left > 0) {
        const ssize_t n = ::send(socket_, data, static_cast<size_t>(left), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            left -= static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw SocketException();
        // The server does not take bytes: wait, but not for ever.
        if (!waitWritable(socket_, waitLeft(deadline))) {
            diagnostic("server link: the server took no bytes for %d ms", timing.writeTimeoutMs);
            throw SocketException();
        }
    }
}

int ConnectionThread::receive(void* buffer, int length, int timeoutMs)
{
    if (length <= 0)
        return 0;
    const int64_t deadline = monotonicMillis() + (timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (inputPosition_ < inputLength_) {
            const int n = std::min(length, inputLength_ - inputPosition_);
            std::memcpy(buffer, input_ + inputPosition_, static_cast<size_t>(n));
            inputPosition_ += n;
            return n;
        }
        pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs < 0 ? -1 : waitLeft(deadline));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw SocketException();
        }
        if (ready == 0)
            return 0;
        if (fds[1].revents & POLLIN) {
            wake_.drain();
            if (hasRequests())
                throw LinkInterrupted();
            // New frames go out at once, also in the middle of an incoming one.
            flush();
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            inputLength_ = orvane::receive(socket_, input_, static_cast<int>(sizeof input_), 0);
            inputPosition_ = 0;
        }
    }
}

} // namespace orvane
